// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The 22 exports: lazy initialization, binding, forwarding, unloading, and
// the getter and setter of the implementation's path. The search for it is
// GetAPILibraryName's (Internal_GetAPILibraryName.cpp).
#include "api/Trelvo.h"

#include <atomic>
#include <cerrno>
#include <exception>
#include <mutex>
#include <string>
#include <type_traits>

#include "api/CallTrace.h"
#include "api/EntryPoints.h"
#include "api/Internal_GetAPILibraryName.h"
#include "config/ProcessConfiguration.h"
#include "logging/InternalLogging.h"
#include "utils/accessdll.h"

namespace {

using Internal_Trelvo::Binding;
namespace Traced = Internal_Trelvo::Traced;
using Internal_Trelvo::TrelvoConfiguration;

// Process-wide state. The front end is in one of four states, told apart by
// three of the variables below:
//
//   state               _dllModule  _isInitialized  _impl_DLL_Name
//   No path             null        false           empty
//   Path known          null        false           set
//   Loaded, not bound   set         false           set (empty after a rejected path)
//   Ready               set         true            set
//
// Initialization moves No path or Path known towards Ready and falls back to
// No path when nothing is found or it cannot be loaded; an unload goes back
// to Path known; the path setter replaces the path, unloading a Ready
// implementation first. Every state but Ready is retried by the next
// forwarded call.
//
// Every write below happens with _stateLock held. Forwarded calls take it only
// until the library is ready; from then on they read _isInitialized and the
// entry-point table without it.
//
// The lock is recursive because implementation code runs while it is held:
// the implementation's load-time constructors (at initialization and at the
// test loads of the path getter and setter), its VELT_Disconnect,
// VELT_DisconnectIfLastClient and VELT_GetLastErrorMessage. If that code calls
// an export of the front end (an implementation that calls its own exports by
// name reaches the front end's, which come first in the symbol search), a plain
// mutex would deadlock the thread; the recursive one lets the call run on the
// state as the outer call left it.
std::recursive_mutex _stateLock;

// Ready: the entry points are bound and every required one is present. Stored
// with release after the table is written, loaded with acquire by the
// forwarders. While it is set, _lastInitializationErrorMessage is empty.
std::atomic<bool> _isInitialized{false};

// The loaded implementation library; null when none is loaded.
void* _dllModule = nullptr;

// Full path of the implementation library; empty when none is chosen yet.
std::string _impl_DLL_Name;

// The configuration has been processed; set once, never cleared. It is
// processed the first time a path has to be searched for.
bool _accessConfigurationInitialized = false;
TrelvoConfiguration _accessConfiguration;

// Text of the last failure of initialization or unloading; empty for none.
// Cleared by every forwarded call that is not yet ready.
std::string _lastInitializationErrorMessage;

// Copy of the implementation's last error text, handed out by
// VELT_GetLastErrorMessage. Constructed on its first use, so that loading the
// front end builds nothing for it.
std::string& _LastImplementationErrorMessage() {
    static std::string lastImplementationErrorMessage;
    return lastImplementationErrorMessage;
}

// The entry-point table: _VELT_Connect and so on, each with the signature of
// the export of its name. Null until bound, and again after an unload.
#define TRELVO_ENTRY_POINT_VARIABLE(symbol, ...) decltype(&symbol) _##symbol = nullptr;
TRELVO_ENTRY_POINTS(TRELVO_ENTRY_POINT_VARIABLE)
#undef TRELVO_ENTRY_POINT_VARIABLE

// The implementation's own entry points of the plain forwarders,
// _implementation_VELT_Connect and so on. While calls are traced, the
// entry-point table holds the tracing wrappers below instead, and they call
// these; otherwise both hold the same.
#define TRELVO_IMPLEMENTATION_VARIABLE_Forwarded(symbol) \
    decltype(&symbol) _implementation_##symbol = nullptr;
#define TRELVO_IMPLEMENTATION_VARIABLE_Own(symbol)
#define TRELVO_IMPLEMENTATION_VARIABLE(symbol, binding, forwarding, ...) \
    TRELVO_IMPLEMENTATION_VARIABLE_##forwarding(symbol)
TRELVO_ENTRY_POINTS(TRELVO_IMPLEMENTATION_VARIABLE)
#undef TRELVO_IMPLEMENTATION_VARIABLE
#undef TRELVO_IMPLEMENTATION_VARIABLE_Own
#undef TRELVO_IMPLEMENTATION_VARIABLE_Forwarded

template <typename EntryPoint>
struct _Tracer;

// A wrapper with the entry point's own signature: calls the implementation,
// or answers as a forwarder does for an optional one it lacks, and writes the
// record before returning.
template <typename... Args>
struct _Tracer<VeltResult (*)(Args...)> {
    template <auto& implementation, Traced::Function function>
    static VeltResult Call(Args... args) {
        const int64_t start = Internal_Trelvo::TraceClock();
        const bool present = implementation != nullptr;
        const VeltResult result = present ? implementation(args...) : TRELVO_E_NOT_IMPLEMENTED;
        Internal_Trelvo::TraceCall(function, start, {args...}, result, !present);
        return result;
    }
};

template <typename EntryPoint>
EntryPoint _EntryPoint(void* address) {
    return reinterpret_cast<EntryPoint>(address);
}

template <auto& entryPoint>
void _Store(void* address, bool) {
    entryPoint = _EntryPoint<std::remove_reference_t<decltype(entryPoint)>>(address);
}

// Binding with the trace on stores the wrapper, also for a missing optional
// entry point, so that its calls are recorded too. Clearing stores null.
template <auto& entryPoint, auto& implementation, Traced::Function function>
void _StoreTraceable(void* address, bool traced) {
    using EntryPoint = std::remove_reference_t<decltype(entryPoint)>;
    implementation = _EntryPoint<EntryPoint>(address);
    entryPoint =
        traced ? _Tracer<EntryPoint>::template Call<implementation, function> : implementation;
}

// The stores into the table, in the order of kEntryPointNames.
using _EntryPointStore = void (*)(void* address, bool traced);
constexpr _EntryPointStore _entryPointStores[] = {
#define TRELVO_ENTRY_POINT_STORE_Forwarded(symbol) \
    _StoreTraceable<_##symbol, _implementation_##symbol, Traced::symbol>
#define TRELVO_ENTRY_POINT_STORE_Own(symbol) _Store<_##symbol>
#define TRELVO_ENTRY_POINT_STORE(symbol, binding, forwarding, ...) \
    TRELVO_ENTRY_POINT_STORE_##forwarding(symbol),
    TRELVO_ENTRY_POINTS(TRELVO_ENTRY_POINT_STORE)
#undef TRELVO_ENTRY_POINT_STORE
#undef TRELVO_ENTRY_POINT_STORE_Own
#undef TRELVO_ENTRY_POINT_STORE_Forwarded
};

void _ClearEntryPoints() {
    for (const _EntryPointStore store : _entryPointStores) store(nullptr, false);
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

// Binds every entry point afresh; a missing required one is named in the
// error text, a missing optional one leaves its variable null.
VeltResult _Bind() {
    Internal_Trelvo::LogText(("Using VELT API from \"" + _impl_DLL_Name + "\"").c_str());
    VeltResult result = 0;
    const bool traced = Internal_Trelvo::IsCallTraceOn();
    for (size_t i = 0; i < Internal_Trelvo::kEntryPointCount; ++i) {
        const Internal_Trelvo::EntryPointName& entryPoint = Internal_Trelvo::kEntryPointNames[i];
        void* address = InternalUtils::getprocedurefromdll(_dllModule, entryPoint.symbol);
        _entryPointStores[i](address, traced);
        if (address != nullptr || !entryPoint.required) continue;
        if (result == 0) {
            _lastInitializationErrorMessage =
                "The following methods were not found in '" + _impl_DLL_Name + "':";
            result = TRELVO_E_MISSING_ENTRY_POINTS;
        }
        _lastInitializationErrorMessage += " '" + std::string(entryPoint.symbol) + "()'";
    }
    if (result == 0) _isInitialized.store(true, std::memory_order_release);
    return result;
}

// Fails, forgetting the path, when nothing is found or it cannot be loaded.
// The trace shows the loading inside the call of caller.
VeltResult _Load(Traced::Function caller) {
    const int64_t start = Internal_Trelvo::BeginTracedCall();
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
    if (_dllModule != nullptr) {
        Internal_Trelvo::TraceEvent("loaded", _impl_DLL_Name.c_str(), caller, start);
        return 0;
    }
    _lastInitializationErrorMessage = "Unable to load interface DLL: " + _impl_DLL_Name + " : " +
                                      InternalUtils::getdllerrormessage();
    _impl_DLL_Name.clear();
    return TRELVO_E_IMPLEMENTATION_UNAVAILABLE;
}

// Called with _stateLock held.
VeltResult _Initialize(Traced::Function caller) {
    Internal_Trelvo::StartCallTrace();
    _lastInitializationErrorMessage.clear();
    if (_isInitialized.load(std::memory_order_relaxed)) return 0;
    if (_dllModule == nullptr) {
        const VeltResult loaded = _Load(caller);
        if (loaded != 0) return loaded;
    }
    return _Bind();
}

// Called with _stateLock held. A failed unload keeps the handle and the table
// and records the loader's text for VELT_GetLastErrorMessage. The log gets
// only the failure's code: LogConfigFileErrors writes it with the
// configuration's path and error text, not the loader's.
void _Uninitialize(Traced::Function caller) {
    _isInitialized.store(false, std::memory_order_relaxed);
    if (_dllModule == nullptr) return;
    const int64_t start = Internal_Trelvo::BeginTracedCall();
    if (InternalUtils::freedll(_dllModule)) {
        _dllModule = nullptr;
        _ClearEntryPoints();
        Internal_Trelvo::TraceEvent("unloaded", _impl_DLL_Name.c_str(), caller, start);
        return;
    }
    Internal_Trelvo::TraceEvent("unload failed", _impl_DLL_Name.c_str(), caller, start);
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

template <auto& entryPoint, Binding binding, typename... Args>
[[gnu::always_inline]] inline VeltResult _CallBound(Args... args) {
    if constexpr (binding == Binding::Optional) {
        if (entryPoint == nullptr) return TRELVO_E_NOT_IMPLEMENTED;
    }
    return entryPoint(args...);
}

// Tracing starts with the first call of any export. A traced call that the
// front end fails before reaching the implementation records itself.
int64_t _EnterTraced() {
    if (!Internal_Trelvo::IsCallTraceStarted()) {
        _Locked<bool>(false, [] {
            Internal_Trelvo::StartCallTrace();
            return true;
        });
    }
    return Internal_Trelvo::BeginTracedCall();
}

// The result of an export written out here, as the trace records it.
VeltResult _Traced(Traced::Function function, int64_t start,
                   std::initializer_list<Internal_Trelvo::TraceValue> arguments, VeltResult result,
                   bool byFrontEnd, const Internal_Trelvo::TraceInnerCall* inner = nullptr) {
    Internal_Trelvo::TraceCall(function, start, arguments, result, byFrontEnd, inner);
    return result;
}

// Runs body under the state lock; the text it returns is copied into the
// call's record before the lock is released, since another thread's call
// may rewrite it as soon as it is.
template <typename Body>
const char* _LockedText(Traced::Function function,
                        std::initializer_list<Internal_Trelvo::TraceValue> arguments,
                        const char* onFailure, Body body) {
    Internal_Trelvo::CallRecord record(function, _EnterTraced(), arguments);
    const char* text = _Locked<const char*>(onFailure, [&] { return record.ResultText(body()); });
    record.ResultText(text);  // when the lock or the body failed; else a no-op
    record.End(text == nullptr);
    return text;
}

// Kept out of line so that the ready path of a forwarder needs no stack frame
// and ends in a tail call. Once initialized with the trace on, the call is
// recorded by the wrapper that the entry-point table holds. The clocks are
// read unless the trace is known to be off: the first call starts it.
template <auto& entryPoint, Binding binding, Traced::Function function, typename... Args>
[[gnu::noinline, gnu::cold]] VeltResult _InitializeAndCall(Args... args) {
    const int64_t start = Internal_Trelvo::IsCallTraceStarted() ? Internal_Trelvo::BeginTracedCall()
                                                                : Internal_Trelvo::TraceClock();
    const VeltResult initialized =
        _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [] { return _Initialize(function); });
    if (initialized != 0) return _Traced(function, start, {args...}, initialized, true);
    return _CallBound<entryPoint, binding>(args...);
}

// Once ready, _Initialize would only clear an error text that is already
// empty, so the ready path is the flag test alone.
template <auto& entryPoint, Binding binding, Traced::Function function, typename... Args>
[[gnu::always_inline]] inline VeltResult _Forward(Args... args) {
    if (__builtin_expect(_isInitialized.load(std::memory_order_acquire), true)) {
        return _CallBound<entryPoint, binding>(args...);
    }
    return _InitializeAndCall<entryPoint, binding, function>(args...);
}

}  // namespace

extern "C" {

// The plain forwarders; the exports marked Own are written out below.
#define TRELVO_FORWARDER_Forwarded(symbol, binding, parameters, arguments)      \
    VeltResult symbol parameters {                                              \
        return _Forward<_##symbol, Binding::binding, Traced::symbol> arguments; \
    }
#define TRELVO_FORWARDER_Own(...)
#define TRELVO_FORWARDER(symbol, binding, forwarding, parameters, arguments) \
    TRELVO_FORWARDER_##forwarding(symbol, binding, parameters, arguments)
TRELVO_ENTRY_POINTS(TRELVO_FORWARDER)
#undef TRELVO_FORWARDER
#undef TRELVO_FORWARDER_Own
#undef TRELVO_FORWARDER_Forwarded

// Takes the lock throughout: the text it returns lives in state that other
// threads' calls would otherwise rewrite under it.
const char* VELT_GetLastErrorMessage(VeltInt arg1) {
    return _LockedText(Traced::VELT_GetLastErrorMessage, {arg1}, "", [arg1]() -> const char* {
        if (!_lastInitializationErrorMessage.empty()) {
            return _lastInitializationErrorMessage.c_str();
        }
        const VeltResult initialized = _Initialize(Traced::VELT_GetLastErrorMessage);
        std::string& lastImplementationErrorMessage = _LastImplementationErrorMessage();
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
    const int64_t start = _EnterTraced();
    bool answered = false;  // by the implementation
    const VeltResult disconnected = _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [&answered] {
        if (_dllModule == nullptr) {
            _isInitialized.store(false, std::memory_order_relaxed);
            return TRELVO_E_NOT_LOADED;
        }
        answered = _VELT_Disconnect != nullptr;
        const VeltResult result = answered ? _VELT_Disconnect() : TRELVO_E_NOT_IMPLEMENTED;
        _Uninitialize(Traced::VELT_Disconnect);
        return result;
    });
    return _Traced(Traced::VELT_Disconnect, start, {}, disconnected, !answered);
}

VeltResult VELT_DisconnectIfLastClient(uint32_t* lastClient) {
    const int64_t start = _EnterTraced();
    bool answered = false;  // by the implementation
    const VeltResult disconnected = _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [&] {
        if (_dllModule == nullptr) return TRELVO_E_NOT_LOADED;
        if (_VELT_DisconnectIfLastClient == nullptr) return TRELVO_E_NOT_SUPPORTED;
        const VeltResult result = _VELT_DisconnectIfLastClient(lastClient);
        answered = true;
        if (result != 0) return result;
        if (lastClient != nullptr && *lastClient == 1) {
            _Uninitialize(Traced::VELT_DisconnectIfLastClient);
        }
        return VeltResult{0};
    });
    return _Traced(Traced::VELT_DisconnectIfLastClient, start, {lastClient}, disconnected,
                   !answered);
}

const char* Trelvo_GetVeltApiImplementationPath(void) {
    return _LockedText(
        Traced::Trelvo_GetVeltApiImplementationPath, {}, nullptr, []() -> const char* {
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

// The connection status that it asks for is shown inside its own record: the
// client did not call VELT_GetConnectionStatus.
VeltResult Trelvo_SetVeltApiImplementationPath(const char* path) {
    constexpr Traced::Function kSetter = Traced::Trelvo_SetVeltApiImplementationPath;
    const int64_t start = _EnterTraced();
    if (path == nullptr) return _Traced(kSetter, start, {path}, TRELVO_E_NULL_ARGUMENT, true);
    Internal_Trelvo::TraceInnerCall query{"VELT_GetConnectionStatus", 0, 0};
    bool queried = false;
    const VeltResult result = _Locked<VeltResult>(TRELVO_E_OUT_OF_MEMORY, [&] {
        if (_isInitialized.load(std::memory_order_relaxed)) {
            queried = true;
            query.result = _implementation_VELT_GetConnectionStatus(&query.counter);
            if (query.result != 0) return query.result;
            if (query.counter != 0 && query.counter != 3) return VeltResult{0};
            _Uninitialize(kSetter);
        }
        _impl_DLL_Name = path;
        if (_IsLoadable(_impl_DLL_Name)) return VeltResult{0};
        _impl_DLL_Name.clear();
        return TRELVO_E_PATH_NOT_LOADABLE;
    });
    const bool byFrontEnd = !queried || query.result == 0;
    return _Traced(kSetter, start, {path}, result, byFrontEnd, queried ? &query : nullptr);
}

}  // extern "C"
