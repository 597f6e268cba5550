/// @file
/// Orlix common definitions: the export macro, fixed-width helper types and limits shared by
/// every public header.
///
/// ORLIX_API marks the library's interface. The shared library is built with hidden
/// visibility, so only what carries ORLIX_API is exported; everything else stays internal.
/// Programs linking the static library (liborlix.a) get ORLIX_STATIC from the CMake package
/// and see no visibility attributes at all.
#ifndef ORLIX_INFRA_DEFS_H
#define ORLIX_INFRA_DEFS_H

#include <cstddef>
#include <cstdint>

/// @def ORLIX_API
/// Marks a class or function as part of the library's interface. Building liborlix.so it
/// gives the declaration default visibility (the library is compiled with hidden visibility,
/// so nothing else is exported); with ORLIX_STATIC defined (programs linking liborlix.a) and
/// on compilers without visibility attributes it expands to nothing. On Windows it is
/// dllexport while the DLL is built.
#if defined(ORLIX_STATIC) && !defined(ORLIX_BUILDING_LIBRARY)
#define ORLIX_API
#elif defined(_WIN32)
// Windows differs here: a DLL names its interface with dllexport, not visibility. Users of
// the DLL built with GCC or Clang (mingw-w64) need no dllimport: their linker imports
// functions and data through the import library (auto-import).
#if defined(ORLIX_BUILDING_LIBRARY)
#define ORLIX_API __declspec(dllexport)
#elif defined(__GNUC__) || defined(__clang__)
#define ORLIX_API
#else
#define ORLIX_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define ORLIX_API __attribute__((visibility("default")))
#else
#define ORLIX_API
#endif

/// @def ORLIX_FORMAT_CHECK
/// Declares the function's parameter fmtIndex (1-based) a printf format whose arguments start
/// at firstArg, so that GCC and Clang check every call; empty on other compilers. The public
/// headers' format macros (ORLIX_PRINTF_FORMAT, ORLIX_UTILS_PRINTF) are this one.
#if defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
// Windows differs here: "printf" names the old runtime's dialect there, while the library
// formats with the C99 one (%zu, %lld, %j...), which GCC calls gnu_printf.
#define ORLIX_FORMAT_CHECK(fmtIndex, firstArg) __attribute__((format(gnu_printf, fmtIndex, firstArg)))
#elif defined(__GNUC__) || defined(__clang__)
#define ORLIX_FORMAT_CHECK(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define ORLIX_FORMAT_CHECK(fmtIndex, firstArg)
#endif

/// The largest transfer a 32-bit count can express; 64-bit file operations split larger
/// transfers into pieces of at most this many bytes.
#define ORLIX_MAX_INT_VALUE 2147483647

/// @def ORLIX_FUNCTION
/// The full signature of the enclosing function (`__PRETTY_FUNCTION__` on GCC and Clang,
/// `__func__` elsewhere), as assertion messages report it.
#if defined(__GNUC__) || defined(__clang__)
#define ORLIX_FUNCTION __PRETTY_FUNCTION__
#else
#define ORLIX_FUNCTION __func__
#endif

namespace Orlix {

using uint64 = std::uint64_t; ///< unsigned 64-bit integer: sizes, offsets, seconds, clock readings
using int64 = std::int64_t;   ///< signed 64-bit integer: differences of times and offsets

} // namespace Orlix

#endif // ORLIX_INFRA_DEFS_H
