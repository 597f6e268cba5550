// POSIX implementation of run-time loaded shared libraries (dlopen/dlsym).
#include "platform/dynlib.h"

#include <dlfcn.h>

#include <cstring>

namespace Orlix {
namespace Platform {

const char* const sharedLibraryPattern = "lib%s.so";

void* openSharedLibrary(const char* fileName)
{
    // RTLD_NOW: a library with unresolved references fails here, not at some later call.
    void* library = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        (void)dlerror(); // clear the thread's pending error text
    return library;
}

SharedLibraryFunction findSharedLibraryFunction(void* library, const char* symbol)
{
    if (library == nullptr)
        return nullptr;
    (void)dlerror();
    void* address = dlsym(library, symbol);
    if (address == nullptr) {
        (void)dlerror();
        return nullptr;
    }
    // dlsym hands out functions as object pointers; copying the bits is the conversion POSIX
    // guarantees to work and that ISO C++ does not warn about.
    SharedLibraryFunction function = nullptr;
    static_assert(sizeof(function) == sizeof(address), "function and object pointers differ");
    std::memcpy(&function, &address, sizeof(function));
    return function;
}

} // namespace Platform
} // namespace Orlix
