// Streaming digests and checksums against one-shot results. The input is cut into pieces at
// fuzzer-chosen points; MD5 and SHA-1 fed piece by piece must give the digest of the whole,
// CRC-16 and CRC-32 chained over the pieces must give the CRC of the whole, and the CRCs must
// equal a bit-at-a-time computation of the published polynomials. Also checks the documented
// rules around the result: a second final gives the same bytes, hex spells the final bytes
// (SHA-1 terminating only when there is room), and data after a result starts a new digest.
#include "fuzz_check.h"

#include "infra/crc.h"
#include "infra/md5.h"
#include "infra/sha1.h"

#include <cstring>
#include <string>
#include <vector>

using OrlixFuzz::check;
using namespace Orlix::Utils;

namespace {

const unsigned char* bytesOf(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

unsigned short slowCrc16(unsigned short crc, const std::string& s)
{
    for (const unsigned char c : s) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<unsigned short>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

unsigned int slowCrc32(const std::string& s)
{
    unsigned int crc = 0xFFFFFFFFu;
    for (const unsigned char c : s) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::string hexOf(const unsigned char* digest, size_t n)
{
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kHex[digest[i] >> 4];
        s += kHex[digest[i] & 15];
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte is a seed for the cut points; the rest is the message.
    if (size == 0)
        return 0;
    unsigned int cuts = data[0] * 2654435761u + 1;
    const std::string message(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> pieces;
    for (size_t pos = 0; pos < message.size();) {
        cuts = cuts * 1103515245u + 12345u;
        size_t n = (cuts >> 16) % 131; // pieces of 0 to 130 bytes cross the 64-byte blocks
        n = n < message.size() - pos ? n : message.size() - pos;
        pieces.push_back(message.substr(pos, n));
        pos += n;
    }
    const unsigned int len = static_cast<unsigned int>(message.size());

    // MD5: one update of the whole against the pieces.
    unsigned char whole[16], streamed[16], again[16];
    CMd5 one;
    one.update(bytesOf(message), len);
    one.final(whole);
    CMd5 md5;
    for (const std::string& p : pieces)
        md5.update(p.empty() ? nullptr : bytesOf(p), static_cast<unsigned int>(p.size()));
    md5.final(streamed);
    check(std::memcmp(whole, streamed, 16) == 0, "md5 streamed != one-shot");
    md5.update(nullptr, 5); // ignored, even after the result
    md5.final(again);
    check(std::memcmp(whole, again, 16) == 0, "md5 second final differs");
    char hex[33];
    std::memset(hex, 'x', sizeof(hex));
    md5.hex(hex);
    check(hex[32] == 'x', "md5 hex wrote a terminator");
    check(std::string(hex, 32) == hexOf(whole, 16), "md5 hex != final bytes");
    if (!pieces.empty() && !pieces.back().empty()) {
        // Data after the result starts a new digest of that data alone.
        const std::string& last = pieces.back();
        md5.update(bytesOf(last), static_cast<unsigned int>(last.size()));
        md5.final(again);
        CMd5 fresh;
        fresh.update(bytesOf(last), static_cast<unsigned int>(last.size()));
        fresh.final(streamed);
        check(std::memcmp(again, streamed, 16) == 0, "md5 update after final did not restart");
    }
    md5.init();
    md5.update(bytesOf(message), len);
    md5.final(again);
    check(std::memcmp(whole, again, 16) == 0, "md5 after init differs");

    // SHA-1 likewise.
    unsigned char sWhole[20], sStreamed[20], sAgain[20];
    CSha1 sOne;
    sOne.update(bytesOf(message), len);
    sOne.final(sWhole, 20);
    CSha1 sha;
    for (const std::string& p : pieces)
        sha.update(p.empty() ? nullptr : bytesOf(p), static_cast<unsigned int>(p.size()));
    sha.final(sStreamed, 20);
    check(std::memcmp(sWhole, sStreamed, 20) == 0, "sha1 streamed != one-shot");
    sha.final(sAgain, 21);
    check(std::memcmp(sWhole, sAgain, 20) == 0, "sha1 second final differs");
    char sHex[42];
    std::memset(sHex, 'x', sizeof(sHex));
    sha.hex(sHex, 40);
    check(sHex[40] == 'x', "sha1 hex(40) wrote a terminator");
    check(std::string(sHex, 40) == hexOf(sWhole, 20), "sha1 hex != final bytes");
    sha.hex(sHex, 41);
    check(sHex[40] == '\0' && sHex[41] == 'x', "sha1 hex(41) not terminated at 40");
    if (!pieces.empty() && !pieces.back().empty()) {
        const std::string& last = pieces.back();
        sha.update(bytesOf(last), static_cast<unsigned int>(last.size()));
        sha.final(sAgain, 20);
        CSha1 fresh;
        fresh.update(bytesOf(last), static_cast<unsigned int>(last.size()));
        fresh.final(sStreamed, 20);
        check(std::memcmp(sAgain, sStreamed, 20) == 0, "sha1 update after final did not restart");
    }

    // CRCs: chained over the pieces, one call, and the bitwise definition.
    const unsigned short start = static_cast<unsigned short>(data[0] * 257);
    unsigned short c16 = start;
    unsigned int c32 = 0;
    for (const std::string& p : pieces) {
        c16 = crc16(c16, bytesOf(p), static_cast<unsigned int>(p.size()));
        c32 = crc32(c32, bytesOf(p), static_cast<unsigned int>(p.size()));
    }
    check(c16 == crc16(start, bytesOf(message), len), "crc16 chained != one call");
    check(c16 == slowCrc16(start, message), "crc16 != bitwise definition");
    check(c32 == crc32(bytesOf(message), len), "crc32 chained != one call");
    check(c32 == slowCrc32(message), "crc32 != bitwise definition");
    check(crc32(0u, bytesOf(message), len) == c32, "crc32(0, ...) != crc32(...)");
    return 0;
}
