#pragma once
// Libraries loaded when the program first needs them rather than at its start: every
// library loaded at start makes the start slower. Each such library has a table of the calls
// the program makes, filled once from the loaded library.

#include <dlfcn.h>

// Loads the library by its file name ("libtiff.so.6") for the rest of the run; nullptr when
// it is not there.
inline void* LoadLibraryForGood(const char* fileName) {
    return dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
}

// Fills call with the library's function of that name; false when the library (nullptr) or
// the function is missing.
template <typename Call> bool ResolveCall(void* library, const char* name, Call& call) {
    call = library ? reinterpret_cast<Call>(dlsym(library, name)) : nullptr;
    return call != nullptr;
}

// The table Load fills, loaded on the first call only (thread-safe); nullptr when Load
// failed.
template <typename Calls, bool (*Load)(Calls&)> const Calls* CallsOnFirstUse() {
    static Calls calls;
    static const bool loaded = Load(calls);
    return loaded ? &calls : nullptr;
}
