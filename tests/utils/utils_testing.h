// Helpers the Utils suites share.
#ifndef ORLIX_TESTS_UTILS_UTILS_TESTING_H
#define ORLIX_TESTS_UTILS_UTILS_TESTING_H

#include <random>
#include <string>
#include <vector>

namespace UtilsTesting {

using Bytes = std::vector<unsigned char>;

// The bytes of a text, as the codecs take them.
inline const unsigned char* bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.c_str());
}

inline Bytes randomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

} // namespace UtilsTesting

#endif // ORLIX_TESTS_UTILS_UTILS_TESTING_H
