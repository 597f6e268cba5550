// Operating-system layer: shared libraries loaded at run time.
//
// Internal to the library. The component registry finds creators of components that nobody
// registered in shared libraries named after the component; this is the only place that
// knows how such a file is named and opened on this platform.
#ifndef ORLIX_PLATFORM_DYNLIB_H
#define ORLIX_PLATFORM_DYNLIB_H

namespace Orlix {
namespace Platform {

// printf pattern that turns a component name into the file name of its shared library,
// following the platform's naming: "lib<name>.so" on Linux.
extern const char* const sharedLibraryPattern;

// Loads the shared library fileName, searched in the system's default order (a name without
// a slash goes through LD_LIBRARY_PATH, the run paths of the calling program, the loader's
// cache and the system directories). Symbols are resolved at once. Null when it cannot be
// loaded. Libraries are never unloaded.
void* openSharedLibrary(const char* fileName);

// The address of the function symbol in library, or null when the library has none.
using SharedLibraryFunction = void (*)();
SharedLibraryFunction findSharedLibraryFunction(void* library, const char* symbol);

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_DYNLIB_H
