// The DES block cipher (FIPS 46-3).
//
// The round function is table driven: each of the eight S-boxes is merged with the
// permutation P into a table of 64 32-bit words (SP), so a round is eight lookups. The
// expansion E needs no work of its own: S-box i reads bits 4i-1..4i+4 of R (numbering from
// 1 at the most significant bit, wrapping around), which are the low six bits of R rotated
// right by 27 - 4i. Rotating R right by 3 lines up S-boxes 1, 3, 5, 7 with bytes 3, 2, 1, 0
// of the word, rotating it left by 1 does the same for S-boxes 2, 4, 6, 8, and the key
// schedule stores the round keys in that layout: two rotations and two XORs per round.
//
// The initial and final permutations are applied with one lookup per input byte in
// tables of 64-bit words. All tables are computed by the compiler from the published ones.
#include "utils/des_core.h"

#include "utils/wipe.h"

#include <array>

namespace Orlix {
namespace Utils {
namespace Detail {

namespace {

// The published tables, bit positions numbered from 1 at the most significant bit.
constexpr unsigned char kSBox[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

constexpr unsigned char kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                  2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr unsigned char kIP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                   62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                   57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                   61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr unsigned char kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr unsigned char kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr unsigned char kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

using SpTable = std::array<std::array<std::uint32_t, 64>, 8>;
using PermTable = std::array<std::array<std::uint64_t, 256>, 8>;

// SP[i][six]: the S-box output of box i for its six input bits, moved to its nibble and
// permuted by P.
constexpr SpTable makeSpTable()
{
    SpTable sp{};
    for (int box = 0; box < 8; ++box) {
        for (unsigned int six = 0; six < 64; ++six) {
            const unsigned int row = ((six >> 4) & 2) | (six & 1);
            const unsigned int col = (six >> 1) & 15;
            const std::uint32_t s = std::uint32_t(kSBox[box][row][col]) << (28 - 4 * box);
            std::uint32_t out = 0;
            for (int j = 0; j < 32; ++j) {
                if ((s >> (32 - kP[j])) & 1)
                    out |= std::uint32_t(1) << (31 - j);
            }
            sp[box][six] = out;
        }
    }
    return sp;
}

// table[b][v]: the permuted 64-bit block when input byte b (0 = most significant) is v and all
// other input bytes are 0. inverse selects the inverse of perm.
constexpr PermTable makePermTable(bool inverse)
{
    unsigned char source[64] = {}; // output bit j (from 1) comes from input bit source[j-1]
    for (int j = 0; j < 64; ++j) {
        if (inverse)
            source[kIP[j] - 1] = static_cast<unsigned char>(j + 1);
        else
            source[j] = kIP[j];
    }
    PermTable table{};
    for (int b = 0; b < 8; ++b) {
        for (unsigned int v = 0; v < 256; ++v) {
            std::uint64_t out = 0;
            for (int j = 0; j < 64; ++j) {
                const int from = source[j] - 1; // 0-based from the most significant bit
                if (from / 8 == b && ((v >> (7 - from % 8)) & 1))
                    out |= std::uint64_t(1) << (63 - j);
            }
            table[b][v] = out;
        }
    }
    return table;
}

constexpr SpTable kSp = makeSpTable();
constexpr PermTable kIpTable = makePermTable(false);
constexpr PermTable kFpTable = makePermTable(true);

inline std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

inline void permute(const PermTable& table, std::uint32_t& left, std::uint32_t& right)
{
    const std::uint64_t out = table[0][left >> 24] ^ table[1][(left >> 16) & 0xFF] ^
                              table[2][(left >> 8) & 0xFF] ^ table[3][left & 0xFF] ^
                              table[4][right >> 24] ^ table[5][(right >> 16) & 0xFF] ^
                              table[6][(right >> 8) & 0xFF] ^ table[7][right & 0xFF];
    left = static_cast<std::uint32_t>(out >> 32);
    right = static_cast<std::uint32_t>(out);
}

inline std::uint32_t feistel(std::uint32_t r, std::uint32_t k0, std::uint32_t k1)
{
    const std::uint32_t a = rotr(r, 3) ^ k0;  // boxes 1, 3, 5, 7
    const std::uint32_t b = rotr(r, 31) ^ k1; // boxes 2, 4, 6, 8
    return kSp[0][(a >> 24) & 0x3F] ^ kSp[2][(a >> 16) & 0x3F] ^ kSp[4][(a >> 8) & 0x3F] ^
           kSp[6][a & 0x3F] ^ kSp[1][(b >> 24) & 0x3F] ^ kSp[3][(b >> 16) & 0x3F] ^
           kSp[5][(b >> 8) & 0x3F] ^ kSp[7][b & 0x3F];
}

} // namespace

void desKeySchedule(const unsigned char key[8], bool encrypt, DesSchedule& schedule)
{
    std::uint64_t k = 0;
    for (int i = 0; i < 8; ++i)
        k = k << 8 | key[i];
    std::uint64_t cd = 0; // 56 bits: C in the upper 28, D in the lower 28
    for (int j = 0; j < 56; ++j)
        cd = cd << 1 | ((k >> (64 - kPC1[j])) & 1);
    std::uint32_t c = static_cast<std::uint32_t>(cd >> 28);
    std::uint32_t d = static_cast<std::uint32_t>(cd & 0x0FFFFFFF);

    DesSchedule rounds{};
    for (int round = 0; round < 16; ++round) {
        const int s = kShifts[round];
        c = ((c << s) | (c >> (28 - s))) & 0x0FFFFFFF;
        d = ((d << s) | (d >> (28 - s))) & 0x0FFFFFFF;
        const std::uint64_t both = std::uint64_t(c) << 28 | d;
        std::uint64_t sub = 0; // 48 bits, six per S-box, box 1 first
        for (int j = 0; j < 48; ++j)
            sub = sub << 1 | ((both >> (56 - kPC2[j])) & 1);
        std::uint32_t odd = 0, even = 0; // boxes 1,3,5,7 and 2,4,6,8
        for (int box = 0; box < 8; ++box) {
            const std::uint32_t six = static_cast<std::uint32_t>(sub >> (42 - 6 * box)) & 0x3F;
            std::uint32_t& word = (box % 2 == 0) ? odd : even;
            word |= six << (24 - 8 * (box / 2));
        }
        rounds.k[2 * round] = odd;
        rounds.k[2 * round + 1] = even;
    }
    for (int round = 0; round < 16; ++round) {
        const int from = encrypt ? round : 15 - round;
        schedule.k[2 * round] = rounds.k[2 * from];
        schedule.k[2 * round + 1] = rounds.k[2 * from + 1];
    }
    secureZero(&rounds, sizeof(rounds));
}

void desInitialPermutation(std::uint32_t& left, std::uint32_t& right)
{
    permute(kIpTable, left, right);
}

void desFinalPermutation(std::uint32_t& left, std::uint32_t& right)
{
    permute(kFpTable, left, right);
}

void desRounds(const DesSchedule& schedule, std::uint32_t& left, std::uint32_t& right)
{
    std::uint32_t l = left, r = right;
    const std::uint32_t* k = schedule.k;
    for (int round = 0; round < 16; round += 2, k += 4) {
        l ^= feistel(r, k[0], k[1]);
        r ^= feistel(l, k[2], k[3]);
    }
    left = r;
    right = l;
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix
