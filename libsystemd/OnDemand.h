// libsystemd loaded when the first of its calls is made, for the dialogs and the command
// line: a command that neither hands a change set to the service nor touches the journal
// starts without the library and the half dozen it pulls in. SdBusOnDemand.cpp and
// JournalOnDemand.cpp define the calls they use, each with the name and type libsystemd's
// headers give it, through LIBSYSTEMD_ON_DEMAND. Both are compiled with hidden visibility:
// the library, once loaded, keeps calling its own functions. The settings service links
// libsystemd and uses none of this.
#pragma once

#include <dlfcn.h>

#include <string>

namespace marrowick::libsystemd {

inline void* Library() {
    static void* const library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    return library;
}

// Why the library could not be loaded, for a message that says what is missing.
inline const std::string& LoadFailure() {
    static const std::string failure = [] {
        const char* reason = Library() ? nullptr : dlerror();
        return std::string(reason ? reason : "libsystemd.so.0 kann nicht geladen werden");
    }();
    return failure;
}

// The library's function of that name, or null without the library.
template <typename Function>
Function* Resolve(const char* name) {
    void* library = Library();
    return library ? reinterpret_cast<Function*>(dlsym(library, name)) : nullptr;
}

}  // namespace marrowick::libsystemd

// Defines `name` to call the library's function, or to return `unloaded` without it.
#define LIBSYSTEMD_ON_DEMAND(result, name, unloaded, parameters, arguments)               \
    result name parameters {                                                              \
        static const auto call = ::marrowick::libsystemd::Resolve<decltype(name)>(#name); \
        return call ? call arguments : unloaded;                                          \
    }
