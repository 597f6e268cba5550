// Win32 implementation of run-time loaded shared libraries (LoadLibraryA, GetProcAddress).
#include "platform/dynlib.h"

#include "platform/win32/win32.h"

#include <cstring>

namespace Orlix {
namespace Platform {

const char* const sharedLibraryPattern = "%s.dll";

void* openSharedLibrary(const char* fileName)
{
    // No error box for a missing or broken library: the caller reports the failure.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(fileName);
    SetErrorMode(oldMode);
    return static_cast<void*>(library);
}

SharedLibraryFunction findSharedLibraryFunction(void* library, const char* symbol)
{
    if (library == nullptr)
        return nullptr;
    FARPROC address = GetProcAddress(static_cast<HMODULE>(library), symbol);
    if (address == nullptr)
        return nullptr;
    // Both are function pointers; copying the bits avoids a cast between unrelated function
    // types, which g++ warns about.
    SharedLibraryFunction function = nullptr;
    static_assert(sizeof(function) == sizeof(address), "function pointers differ in size");
    std::memcpy(&function, &address, sizeof(function));
    return function;
}

} // namespace Platform
} // namespace Orlix
