// The 22 exports: lazy initialization, binding, forwarding, unloading and the
// choice of the implementation library.
#include "api/Trelvo.h"

#include <atomic>
#include <cerrno>
#include <exception>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "api/EntryPoints.h"
#include "api/Internal_GetAPILibraryName.h"
#include "config/ProcessConfiguration.h"
#include "logging/InternalLogging.h"
#include "utils/accessdll.h"

namespace {

using Internal_Trelvo::TrelvoConfiguration;

// Serialises initialization, unloading and changes of path: every write of
// the state below happens with it held. Forwarded calls take it only until
// the library is ready. Recursive because the path setter queries the
// connection status through the exports while holding it.
std::recursive_mutex _stateLock;

// The entry points are bound and every one that is required is present.
// Stored with release after the table is written, loaded with acquire by the
// forwarders, which then read the table without the lock. While it is set,
// _lastInitializationErrorMessage is empty.
std::atomic<bool> _isInitialized{false};

// The loaded implementation library; null when none is loaded.
void* _dllModule = nullptr;

// Full path of the implementation library; empty when none is chosen yet.
std::string _impl_DLL_Name;

// The configuration has been processed; set once, never cleared.
bool _accessConfigurationInitialized = false;
TrelvoConfiguration _accessConfiguration;

// Text of the last failure of initialization or unloading; empty for none.
std::string _lastInitializationErrorMessage;

// The entry-point table, each with the signature of the export of its name.
// Null until bound, and again after an unload.
decltype(&VELT_Connect) _VELT_Connect = nullptr;
decltype(&VELT_ConnectInSameProcess) _VELT_ConnectInSameProcess = nullptr;
decltype(&VELT_LaunchMultitonServerInstance) _VELT_LaunchMultitonServerInstance = nullptr;
decltype(&VELT_ConnectWithURI) _VELT_ConnectWithURI = nullptr;
decltype(&VELT_ConnectSingleton) _VELT_ConnectSingleton = nullptr;
decltype(&VELT_GetConnectionStatus) _VELT_GetConnectionStatus = nullptr;
decltype(&VELT_Disconnect) _VELT_Disconnect = nullptr;
decltype(&VELT_DisconnectIfLastClient) _VELT_DisconnectIfLastClient = nullptr;
decltype(&VELT_SelectConfigurationByFileName) _VELT_SelectConfigurationByFileName = nullptr;
decltype(&VELT_SelectConfigurationByName) _VELT_SelectConfigurationByName = nullptr;
decltype(&VELT_GetAvailableConfigurationCount) _VELT_GetAvailableConfigurationCount = nullptr;
decltype(&VELT_GetAvailableConfigurations) _VELT_GetAvailableConfigurations = nullptr;
decltype(&VELT_SetConfigurationParameters) _VELT_SetConfigurationParameters = nullptr;
decltype(&VELT_SetClientInfo) _VELT_SetClientInfo = nullptr;
decltype(&VELT_FinishInitialization) _VELT_FinishInitialization = nullptr;
decltype(&VELT_BeginDynamicInitialization) _VELT_BeginDynamicInitialization = nullptr;
decltype(&VELT_CancelDynamicInitialization) _VELT_CancelDynamicInitialization = nullptr;
decltype(&VELT_GetAPIVersion) _VELT_GetAPIVersion = nullptr;
decltype(&VELT_GetService) _VELT_GetService = nullptr;
decltype(&VELT_GetLastErrorMessage) _VELT_GetLastErrorMessage = nullptr;

template <auto& entryPoint>
void _Store(void* address) {
    entryPoint = reinterpret_cast<std::remove_reference_t<decltype(entryPoint)>>(address);
}

using _StoreFunction = void (*)(void* address);

// One store per entry of kEntryPointNames, in the same order.
constexpr _StoreFunction _entryPointStores[] = {
    _Store<_VELT_Connect>,
    _Store<_VELT_ConnectInSameProcess>,
    _Store<_VELT_LaunchMultitonServerInstance>,
    _Store<_VELT_ConnectWithURI>,
    _Store<_VELT_ConnectSingleton>,
    _Store<_VELT_GetConnectionStatus>,
    _Store<_VELT_Disconnect>,
    _Store<_VELT_DisconnectIfLastClient>,
    _Store<_VELT_SelectConfigurationByFileName>,
    _Store<_VELT_SelectConfigurationByName>,
    _Store<_VELT_GetAvailableConfigurationCount>,
    _Store<_VELT_GetAvailableConfigurations>,
    _Store<_VELT_SetConfigurationParameters>,
    _Store<_VELT_SetClientInfo>,
    _Store<_VELT_FinishInitialization>,
    _Store<_VELT_BeginDynamicInitialization>,
    _Store<_VELT_CancelDynamicInitialization>,
    _Store<_VELT_GetAPIVersion>,
    _Store<_VELT_GetService>,
    _Store<_VELT_GetLastErrorMessage>,
};
static_assert(std::size(_entryPointStores) == Internal_Trelvo::kEntryPointCount);

void _ClearEntryPoints() {
    for (const _StoreFunction store : _entryPointStores) store(nullptr);
}

int32_t _ProcessConfigurationOnce() {
    if (_accessConfigurationInitialized) return 0;
    const int32_t result = Internal_Trelvo::ProcessConfiguration(&_accessConfiguration);
    _accessConfigurationInitialized = true;
    return result;
}

// Loading and releasing at once tells whether the file can be loaded.
bool _IsLoadable(const std::string& path) {
    void* handle = InternalUtils::loaddll(path);
    if (handle == nullptr) return false;
    InternalUtils::freedll(handle);
    return true;
}

VeltResult _Bind() {
    Internal_Trelvo::LogText(("Using VELT API from \"" + _impl_DLL_Name + "\"").c_str());
    std::set<std::string> optional;
    std::vector<std::string> missing;
    for (size_t i = 0; i < Internal_Trelvo::kEntryPointCount; ++i) {
        const Internal_Trelvo::EntryPointName& entryPoint = Internal_Trelvo::kEntryPointNames[i];
        const std::string recordedName = std::string(entryPoint.symbol) + "()";
        if (!entryPoint.required) optional.insert(recordedName);
        void* address = InternalUtils::getprocedurefromdll(_dllModule, entryPoint.symbol);
        _entryPointStores[i](address);
        if (address == nullptr) missing.push_back(recordedName);
    }
    VeltResult result = 0;
    for (const std::string& name : missing) {
        if (optional.count(name) != 0) continue;
        if (_lastInitializationErrorMessage.empty()) {
            _lastInitializationErrorMessage =
                "The following methods were not found in '" + _impl_DLL_Name + "':";
            result = TRELVO_E_MISSING_ENTRY_POINTS;
        }
        _lastInitializationErrorMessage += " '" + name + "'";
    }
    if (result == 0) _isInitialized.store(true, std::memory_order_release);
    return result;
}

// Fails, forgetting the path, when nothing is found or it cannot be loaded.
VeltResult _Load() {
    if (_impl_DLL_Name.empty()) {
        if (_ProcessConfigurationOnce() == ENOMEM) return TRELVO_E_OUT_OF_MEMORY;
        if (!Internal_Trelvo::GetAPILibraryName(_accessConfiguration, _impl_DLL_Name)) {
            _lastInitializationErrorMessage =
                "Unable to locate a suitable VELT API implementation: " + _impl_DLL_Name;
            _impl_DLL_Name.clear();
            return TRELVO_E_IMPLEMENTATION_UNAVAILABLE;
        }
    }
    _dllModule = InternalUtils::loaddll(_impl_DLL_Name);
    if (_dllModule != nullptr) return 0;
    _lastInitializationErrorMessage = "Unable to load interface DLL: " + _impl_DLL_Name + " : " +
                                      InternalUtils::getdllerrormessage();
    _impl_DLL_Name.clear();
    return TRELVO_E_IMPLEMENTATION_UNAVAILABLE;
}

// Called with _stateLock held.
VeltResult _Initialize() {
    _lastInitializationErrorMessage.clear();
    if (_isInitialized.load(std::memory_order_relaxed)) return 0;
    if (_dllModule == nullptr) {
        const VeltResult loaded = _Load();
        if (loaded != 0) return loaded;
    }
    return _Bind();
}

// Called with _stateLock held. A failed unload keeps the handle and the table,
// records the loader's text and reports it to the log.
void _Uninitialize() {
    _isInitialized.store(false, std::memory_order_relaxed);
    if (_dllModule == nullptr) return;
    if (InternalUtils::freedll(_dllModule)) {
        _dllModule = nullptr;
        _ClearEntryPoints();
        return;
    }
    _lastInitializationErrorMessage = InternalUtils::getdllerrormessage();
    Internal_Trelvo::LogConfigFileErrors(static_cast<int32_t>(TRELVO_E_UNLOAD_FAILED));
}

// Runs body under the state lock. Memory exhaustion must not unwind into a C
// caller: it becomes onFailure.
template <typename Result, typename Body>
Result _Locked(Result onFailure, Body body) noexcept {
    try {
        std::lock_guard<std::recursive_mutex> guard(_stateLock);
        return body();
    } catch (const std::exception&) {
        return onFailure;
    }
}

enum class _Binding { kRequired, kOptional };

template <auto& entryPoint, _Binding binding, typename... Args>
[[gnu::always_inline]] inline VeltResult _CallBound(Args... args) {
    if constexpr (binding == _Binding::kOptional) {
        if (entryPoint == nullptr) return TRELVO_E_NOT_IMPLEMENTED;
    }
    return entryPoint(args...);
}

// Kept out of line so that the ready path of a forwarder needs no stack frame
// and ends in a tail call.
template <auto& entryPoint, _Binding binding, typename... Args>
[[gnu::noinline, gnu::cold]] VeltResult _InitializeAndCall(Args... args) {
    const VeltResult initialized =
        _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [] { return _Initialize(); });
    if (initialized != 0) return initialized;
    return _CallBound<entryPoint, binding>(args...);
}

// Once ready, _Initialize would only clear an error text that is already
// empty, so the ready path is the flag test alone.
template <auto& entryPoint, _Binding binding, typename... Args>
[[gnu::always_inline]] inline VeltResult _Forward(Args... args) {
    if (__builtin_expect(_isInitialized.load(std::memory_order_acquire), true)) {
        return _CallBound<entryPoint, binding>(args...);
    }
    return _InitializeAndCall<entryPoint, binding>(args...);
}

constexpr _Binding kRequired = _Binding::kRequired;
constexpr _Binding kOptional = _Binding::kOptional;

}  // namespace

extern "C" {

VeltResult VELT_Connect(VeltArg arg1) { return _Forward<_VELT_Connect, kRequired>(arg1); }

VeltResult VELT_ConnectInSameProcess(VeltArg arg1) {
    return _Forward<_VELT_ConnectInSameProcess, kRequired>(arg1);
}

VeltResult VELT_LaunchMultitonServerInstance(VeltArg arg1) {
    return _Forward<_VELT_LaunchMultitonServerInstance, kOptional>(arg1);
}

VeltResult VELT_ConnectWithURI(VeltArg arg1, VeltArg arg2) {
    return _Forward<_VELT_ConnectWithURI, kOptional>(arg1, arg2);
}

VeltResult VELT_ConnectSingleton(VeltArg arg1, VeltInt arg2) {
    return _Forward<_VELT_ConnectSingleton, kOptional>(arg1, arg2);
}

VeltResult VELT_GetConnectionStatus(uint32_t* status) {
    return _Forward<_VELT_GetConnectionStatus, kRequired>(status);
}

VeltResult VELT_SelectConfigurationByFileName(VeltArg arg1) {
    return _Forward<_VELT_SelectConfigurationByFileName, kOptional>(arg1);
}

VeltResult VELT_SelectConfigurationByName(VeltArg arg1) {
    return _Forward<_VELT_SelectConfigurationByName, kOptional>(arg1);
}

VeltResult VELT_GetAvailableConfigurationCount(VeltArg arg1) {
    return _Forward<_VELT_GetAvailableConfigurationCount, kOptional>(arg1);
}

VeltResult VELT_GetAvailableConfigurations(VeltInt arg1, VeltArg arg2) {
    return _Forward<_VELT_GetAvailableConfigurations, kOptional>(arg1, arg2);
}

VeltResult VELT_SetConfigurationParameters(VeltInt arg1, VeltArg arg2, VeltArg arg3) {
    return _Forward<_VELT_SetConfigurationParameters, kOptional>(arg1, arg2, arg3);
}

VeltResult VELT_SetClientInfo(VeltArg arg1, VeltArg arg2) {
    return _Forward<_VELT_SetClientInfo, kOptional>(arg1, arg2);
}

VeltResult VELT_FinishInitialization(void) {
    return _Forward<_VELT_FinishInitialization, kOptional>();
}

VeltResult VELT_BeginDynamicInitialization(void) {
    return _Forward<_VELT_BeginDynamicInitialization, kOptional>();
}

VeltResult VELT_CancelDynamicInitialization(void) {
    return _Forward<_VELT_CancelDynamicInitialization, kOptional>();
}

VeltResult VELT_GetAPIVersion(VeltArg arg1, VeltArg arg2) {
    return _Forward<_VELT_GetAPIVersion, kRequired>(arg1, arg2);
}

VeltResult VELT_GetService(VeltInt arg1, VeltArg arg2) {
    return _Forward<_VELT_GetService, kRequired>(arg1, arg2);
}

// Takes the lock throughout: the text it returns lives in state that other
// threads' calls would otherwise rewrite under it.
const char* VELT_GetLastErrorMessage(VeltInt arg1) {
    return _Locked<const char*>("", [arg1]() -> const char* {
        if (!_lastInitializationErrorMessage.empty()) {
            return _lastInitializationErrorMessage.c_str();
        }
        const VeltResult initialized = _Initialize();
        static std::string lastImplementationErrorMessage;
        lastImplementationErrorMessage.clear();
        if (initialized == 0) {
            const char* text = _VELT_GetLastErrorMessage(arg1);
            if (text != nullptr) lastImplementationErrorMessage = text;
        }
        return lastImplementationErrorMessage.c_str();
    });
}

// An implementation that failed to bind for want of its own VELT_Disconnect
// is unloaded all the same; the result then says it could not be told.
VeltResult VELT_Disconnect(void) {
    return _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [] {
        if (_dllModule == nullptr) {
            _isInitialized.store(false, std::memory_order_relaxed);
            return TRELVO_E_NOT_LOADED;
        }
        const VeltResult result =
            _VELT_Disconnect != nullptr ? _VELT_Disconnect() : TRELVO_E_NOT_IMPLEMENTED;
        _Uninitialize();
        return result;
    });
}

VeltResult VELT_DisconnectIfLastClient(uint32_t* lastClient) {
    return _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [lastClient] {
        if (_dllModule == nullptr) return TRELVO_E_NOT_LOADED;
        if (_VELT_DisconnectIfLastClient == nullptr) return TRELVO_E_NOT_SUPPORTED;
        const VeltResult result = _VELT_DisconnectIfLastClient(lastClient);
        if (result != 0) return result;
        if (lastClient != nullptr && *lastClient == 1) _Uninitialize();
        return VeltResult{0};
    });
}

const char* Trelvo_GetVeltApiImplementationPath(void) {
    return _Locked<const char*>(nullptr, []() -> const char* {
        if (!_impl_DLL_Name.empty()) return _impl_DLL_Name.c_str();
        if (_ProcessConfigurationOnce() == ENOMEM) return nullptr;
        if (Internal_Trelvo::GetAPILibraryName(_accessConfiguration, _impl_DLL_Name) &&
            _IsLoadable(_impl_DLL_Name)) {
            return _impl_DLL_Name.c_str();
        }
        _impl_DLL_Name.clear();
        return nullptr;
    });
}

VeltResult Trelvo_SetVeltApiImplementationPath(const char* path) {
    if (path == nullptr) return TRELVO_E_NULL_ARGUMENT;
    return _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [path] {
        if (_isInitialized.load(std::memory_order_relaxed)) {
            uint32_t status = 0;
            const VeltResult queried = VELT_GetConnectionStatus(&status);
            if (queried != 0) return queried;
            if (status != 0 && status != 3) return VeltResult{0};
            _Uninitialize();
        }
        _impl_DLL_Name = path;
        if (_IsLoadable(_impl_DLL_Name)) return VeltResult{0};
        _impl_DLL_Name.clear();
        return TRELVO_E_PATH_NOT_LOADABLE;
    });
}

}  // extern "C"
