// The DES block cipher (FIPS 46-3), internal.
//
// CTripleDes builds single and triple DES from these pieces. A key schedule holds the 16
// round keys in the order they are applied, so one schedule is for encryption and the
// reversed one for decryption. Blocks are handled as two 32-bit words, the first four bytes
// big-endian in the first word.
#ifndef ORLIX_SRC_UTILS_DES_CORE_H
#define ORLIX_SRC_UTILS_DES_CORE_H

#include <cstdint>

namespace Orlix {
namespace Utils {
namespace Detail {

struct DesSchedule
{
    // Round i uses k[2i] for S-boxes 1, 3, 5, 7 and k[2i + 1] for S-boxes 2, 4, 6, 8, six key
    // bits per box in the low six bits of each byte.
    std::uint32_t k[32];
};

// Computes the schedule of the 8-byte key (parity bits ignored) for encryption or decryption.
void desKeySchedule(const unsigned char key[8], bool encrypt, DesSchedule& schedule);

// The initial permutation and its inverse, on the block as two words.
void desInitialPermutation(std::uint32_t& left, std::uint32_t& right);
void desFinalPermutation(std::uint32_t& left, std::uint32_t& right);

// The 16 rounds and the final exchange of the halves, without the two permutations: three of
// these between one initial and one final permutation make triple DES on one block.
void desRounds(const DesSchedule& schedule, std::uint32_t& left, std::uint32_t& right);

// One complete DES operation: permutation, rounds, inverse permutation.
inline void desBlock(const DesSchedule& schedule, std::uint32_t& left, std::uint32_t& right)
{
    desInitialPermutation(left, right);
    desRounds(schedule, left, right);
    desFinalPermutation(left, right);
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_SRC_UTILS_DES_CORE_H
