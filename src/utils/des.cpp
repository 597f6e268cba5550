// DES and triple DES in ECB and CBC mode over caller buffers.
#include "infra/des.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra3/diag.h"
#include "utils/des_core.h"
#include "utils/wipe.h"

#include <cstring>

namespace Orlix {
namespace Utils {

namespace {

using Detail::DesSchedule;

// The three stage schedules of one direction: stage 1, 2 and 3 in the order applied.
struct StageSchedules
{
    DesSchedule stage[3];
};

// A block function transforms one block (8 or 16 bytes) from in to out with the installed
// schedules; in and out may be the same. This is the seam an accelerated implementation
// plugs into.
using BlockFunction = void (*)(const StageSchedules& ks, const unsigned char* in,
                               unsigned char* out);

inline std::uint32_t load(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

inline void store(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

void singleDesBlock(const StageSchedules& ks, const unsigned char* in, unsigned char* out)
{
    std::uint32_t l = load(in), r = load(in + 4);
    Detail::desBlock(ks.stage[0], l, r);
    store(out, l);
    store(out + 4, r);
}

// Three complete DES operations; the final permutation of one stage and the initial one of
// the next cancel, so only the outer two are applied.
void tripleDesBlock(const StageSchedules& ks, const unsigned char* in, unsigned char* out)
{
    std::uint32_t l = load(in), r = load(in + 4);
    Detail::desInitialPermutation(l, r);
    Detail::desRounds(ks.stage[0], l, r);
    Detail::desRounds(ks.stage[1], l, r);
    Detail::desRounds(ks.stage[2], l, r);
    Detail::desFinalPermutation(l, r);
    store(out, l);
    store(out + 4, r);
}

// The 16-byte double block L = (l0, l1), R = (r0, r1): each stage runs on L and on R, and
// between the stages l1 and r0 trade places. The exchange is its own inverse, so the same
// function with the decryption schedules inverts the encryption.
void tripleDesDoubleBlock(const StageSchedules& ks, const unsigned char* in, unsigned char* out)
{
    std::uint32_t l0 = load(in), l1 = load(in + 4), r0 = load(in + 8), r1 = load(in + 12);
    for (int stage = 0; stage < 3; ++stage) {
        if (stage != 0) {
            const std::uint32_t t = l1;
            l1 = r0;
            r0 = t;
        }
        Detail::desBlock(ks.stage[stage], l0, l1);
        Detail::desBlock(ks.stage[stage], r0, r1);
    }
    store(out, l0);
    store(out + 4, l1);
    store(out + 8, r0);
    store(out + 12, r1);
}

// Modes. Each walks size bytes (a whole number of blocks) block by block.
struct EcbOp
{
    template <unsigned int BlockSize>
    static void run(BlockFunction block, const StageSchedules& ks, unsigned char* dst,
                    const unsigned char* src, std::size_t size, const unsigned char*)
    {
        for (std::size_t pos = 0; pos < size; pos += BlockSize)
            block(ks, src + pos, dst + pos);
    }
};

struct CbcEncryptOp
{
    template <unsigned int BlockSize>
    static void run(BlockFunction block, const StageSchedules& ks, unsigned char* dst,
                    const unsigned char* src, std::size_t size, const unsigned char* iv)
    {
        const unsigned char* chain = iv;
        unsigned char scratch[BlockSize];
        for (std::size_t pos = 0; pos < size; pos += BlockSize) {
            for (unsigned int i = 0; i < BlockSize; ++i)
                scratch[i] = static_cast<unsigned char>(src[pos + i] ^ chain[i]);
            block(ks, scratch, dst + pos);
            chain = dst + pos;
        }
        Detail::secureZero(scratch, sizeof(scratch));
    }
};

// The chaining value is taken from the source block before dst is written, so decryption in
// place (dst == src) works too.
struct CbcDecryptOp
{
    template <unsigned int BlockSize>
    static void run(BlockFunction block, const StageSchedules& ks, unsigned char* dst,
                    const unsigned char* src, std::size_t size, const unsigned char* iv)
    {
        unsigned char chain[BlockSize];
        unsigned char next[BlockSize];
        unsigned char scratch[BlockSize];
        std::memcpy(chain, iv, BlockSize);
        for (std::size_t pos = 0; pos < size; pos += BlockSize) {
            std::memcpy(next, src + pos, BlockSize);
            block(ks, next, scratch);
            for (unsigned int i = 0; i < BlockSize; ++i)
                dst[pos + i] = static_cast<unsigned char>(scratch[i] ^ chain[i]);
            std::memcpy(chain, next, BlockSize);
        }
        Detail::secureZero(scratch, sizeof(scratch));
    }
};

// An empty run touches no buffer, so (nullptr, 0) is accepted, as the standard library's
// algorithms accept an empty range.
template <unsigned int BlockSize, class Op>
void enDeCrypt(BlockFunction block, const StageSchedules& ks, unsigned char* dst,
               const unsigned char* src, std::size_t size, const unsigned char* iv)
{
    if (size == 0)
        return;
    ORLIX_ASSERT_TEXT(src != nullptr, "src != NULL");
    ORLIX_ASSERT_TEXT(dst != nullptr, "dst != NULL");
    ORLIX_ASSERT_TEXT(iv != nullptr, "iv != NULL");
    Op::template run<BlockSize>(block, ks, dst, src, size, iv);
}

// Picks the walker for the block size and mode: ECB without an IV, CBC with one.
void runMode(BlockFunction block, unsigned int blockSize, bool hasIv, bool encrypting,
             const StageSchedules& ks, unsigned char* dst, const unsigned char* src,
             std::size_t size, const unsigned char* iv)
{
    if (blockSize == 16) {
        if (!hasIv)
            enDeCrypt<16, EcbOp>(block, ks, dst, src, size, iv);
        else if (encrypting)
            enDeCrypt<16, CbcEncryptOp>(block, ks, dst, src, size, iv);
        else
            enDeCrypt<16, CbcDecryptOp>(block, ks, dst, src, size, iv);
    } else {
        if (!hasIv)
            enDeCrypt<8, EcbOp>(block, ks, dst, src, size, iv);
        else if (encrypting)
            enDeCrypt<8, CbcEncryptOp>(block, ks, dst, src, size, iv);
        else
            enDeCrypt<8, CbcDecryptOp>(block, ks, dst, src, size, iv);
    }
}

} // namespace

struct CTripleDes::TripleDesInternal
{
    unsigned char key[24];
    std::uint32_t keyLen;
    unsigned char iv[16];
    bool hasIv;
    BlockFunction block;
    unsigned int blockSize;
    // The key schedules are computed at the first call and kept: the key never changes.
    bool scheduled;
    StageSchedules encryptSchedules;
    StageSchedules decryptSchedules;
};

namespace {

// Installs the stored key: K1, K2, K3 for the three stages (decryption: K3, K2, K1, each in
// the opposite direction). A single DES key fills stage 1 only.
void initKey(const unsigned char* key, std::uint32_t size, StageSchedules& enc, StageSchedules& dec)
{
    ORLIX_ASSERT(size > 0);
    if (size <= 8) {
        Detail::desKeySchedule(key, true, enc.stage[0]);
        Detail::desKeySchedule(key, false, dec.stage[0]);
        return;
    }
    const unsigned char* k1 = key;
    const unsigned char* k2 = key + 8;
    const unsigned char* k3 = size <= 16 ? key : key + 16;
    Detail::desKeySchedule(k1, true, enc.stage[0]);
    Detail::desKeySchedule(k2, false, enc.stage[1]);
    Detail::desKeySchedule(k3, true, enc.stage[2]);
    Detail::desKeySchedule(k3, false, dec.stage[0]);
    Detail::desKeySchedule(k2, true, dec.stage[1]);
    Detail::desKeySchedule(k1, false, dec.stage[2]);
}

// The start of encrypt() and decrypt(): installs the key schedules at the first call and
// returns the length processed, size rounded down to whole blocks. (A template, so that the
// object's private record type need not be named here.)
template <class Internal>
std::size_t scheduleAndRound(Internal& m, unsigned int size)
{
    if (!m.scheduled) {
        initKey(m.key, m.keyLen, m.encryptSchedules, m.decryptSchedules);
        m.scheduled = true;
    }
    return size & ~std::size_t(m.blockSize - 1);
}

} // namespace

CTripleDes::CTripleDes(const unsigned char* key, unsigned int keyLen, BlockType type,
                       const unsigned char* iv)
    : m_internal(new TripleDesInternal())
{
    TripleDesInternal& m = *m_internal;
    m.keyLen = key == nullptr ? 0 : (keyLen > sizeof(m.key) ? sizeof(m.key) : keyLen);
    if (m.keyLen != 0)
        std::memcpy(m.key, key, m.keyLen);
    if (m.keyLen <= 8) {
        m.block = &singleDesBlock;
        m.blockSize = 8;
    } else if (type != blockType16) {
        m.block = &tripleDesBlock;
        m.blockSize = 8;
    } else {
        m.block = &tripleDesDoubleBlock;
        m.blockSize = 16;
    }
    const unsigned int block_size = m.blockSize;
    ORLIX_ASSERT(block_size > 0);
    ORLIX_ASSERT(sizeof(m_internal->iv) >= block_size);
    m.hasIv = iv != nullptr;
    if (m.hasIv)
        std::memcpy(m.iv, iv, block_size);
}

CTripleDes::~CTripleDes()
{
    Detail::secureZero(m_internal, sizeof(*m_internal));
    delete m_internal;
}

bool CTripleDes::encrypt(unsigned char* dst, const unsigned char* src, unsigned int size)
{
    ORLIX_ASSERT(m_internal);
    const std::size_t realSize = scheduleAndRound(*m_internal, size);
    if (realSize != size) {
        logError(ORLIX_OBJ_FMT "CTripleDes::encrypt(): size is not the multiple of the "
                               "'BlockSize'!!! size(%zu), real_size(%zu)\n",
                 ORLIX_OBJ_ARGS, std::size_t(size), realSize);
    }
    const TripleDesInternal& m = *m_internal;
    runMode(m.block, m.blockSize, m.hasIv, true, m.encryptSchedules, dst, src, realSize, m.iv);
    return realSize == size;
}

bool CTripleDes::decrypt(unsigned char* dst, const unsigned char* src, unsigned int size)
{
    ORLIX_ASSERT(m_internal);
    const std::size_t realSize = scheduleAndRound(*m_internal, size);
    if (realSize != size) {
        // This line's wording differs from encrypt()'s and is kept as it is: log scanners
        // match it.
        logError(ORLIX_OBJ_FMT "CTripleDes::encrypt(): size is not the multiple of th "
                               "'BlockSize'!!! size(%zu), real_size(%zu)\n",
                 ORLIX_OBJ_ARGS, std::size_t(size), realSize);
    }
    const TripleDesInternal& m = *m_internal;
    runMode(m.block, m.blockSize, m.hasIv, false, m.decryptSchedules, dst, src, realSize, m.iv);
    return realSize == size;
}

} // namespace Utils
} // namespace Orlix
