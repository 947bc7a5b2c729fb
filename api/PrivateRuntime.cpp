// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The front end carries a private copy of the C++ runtime (-static-libstdc++).
// That copy allocates its emergency exception pool when the front end is
// loaded, and nothing else frees it when dlclose unloads the front end, so
// every load and unload of the front end would leak it.
namespace __gnu_cxx {
// The runtime's own release hook, declared in none of its headers.
void __freeres() noexcept;
}  // namespace __gnu_cxx

namespace {

[[gnu::destructor]] void _ReleasePrivateRuntime() { __gnu_cxx::__freeres(); }

}  // namespace
