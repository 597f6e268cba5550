// Base64 implementations behind the public functions of infra/base64.h (internal header).
//
// The portable implementation is the reference; the vector ones produce exactly its output
// for every input. A vector decoder only takes blocks made entirely of alphabet characters
// and hands the rest of the text, from the first block holding anything else, to the
// portable decoder, so where decoding stops and what the last characters give is always
// decided by the portable code.
//
// The public functions use the fastest usable implementation allowed by ORLIX_CPU, chosen
// once per process at the first call. Tests call each implementation through
// base64Paths().
#ifndef ORLIX_UTILS_BASE64_PATHS_H
#define ORLIX_UTILS_BASE64_PATHS_H

#include <vector>

namespace Orlix {
namespace Utils {
namespace Detail {

using Base64EncodeFn = int (*)(char* dst, const char* src, int len);
using Base64DecodeFn = int (*)(char* dst, const char* src);
// Number of leading alphabet characters of a zero-terminated text.
using Base64RunFn = int (*)(const char* src);

struct Base64Path
{
    const char* name;      // "portable", "avx2", "avx512vbmi"
    Base64EncodeFn encode; // same contract as base64Encode()
    Base64DecodeFn decode; // same contract as base64Decode()
    Base64RunFn alphabetRun;
    unsigned features; // Cpu::Feature bits the path needs
    bool usable;       // the running CPU has those features (whatever ORLIX_CPU says)
};

// Every implementation built into the library, the portable one first.
std::vector<Base64Path> base64Paths();

// The portable implementations (also the tails of the vector ones).
int base64EncodePortable(char* dst, const char* src, int len);
int base64DecodePortable(char* dst, const char* src);
int base64AlphabetRunPortable(const char* src);

#if defined(__x86_64__)
int base64EncodeAvx2(char* dst, const char* src, int len);
int base64DecodeAvx2(char* dst, const char* src);
int base64AlphabetRunAvx2(const char* src);
int base64EncodeAvx512(char* dst, const char* src, int len);
int base64DecodeAvx512(char* dst, const char* src);
int base64AlphabetRunAvx512(const char* src);
#endif

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_UTILS_BASE64_PATHS_H
