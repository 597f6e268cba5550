// Golden vectors: every codec over fixed pseudo-random inputs, summarised by a byte-wise
// FNV-1a hash of its output and compared with values recorded on x86-64. The same table
// holds on every target the library is built for, so a big-endian or an ARM build that
// passes produces the same bytes as x86-64, byte for byte, whatever path its CPU takes.
//
// The inputs come from std::mt19937, whose sequence the C++ standard fixes, at the lengths
// 0, 1, 63, 64, 65, 4095 and 1 MiB. Outputs that are numbers (CRCs, UCS-2 units, version
// fields, IPv4 values) are turned into bytes most significant first by arithmetic, never by
// reading memory, so the summary does not depend on the host's byte order either.
//
// After a deliberate change of a codec's output the table is printed anew with
//   ORLIX_GOLDEN_PRINT=1 test_utils --gtest_filter='CodecGolden.*'
// on x86-64 and pasted over kGolden below.
#include "infra/base64.h"
#include "infra/charset.h"
#include "infra/crc.h"
#include "infra/des.h"
#include "infra/md5.h"
#include "infra/packet.h"
#include "infra/sha1.h"
#include "infra/strutil.h"
#include "infra/version.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using namespace Orlix::Utils;

const std::size_t kLengths[] = {0, 1, 63, 64, 65, 4095, 1u << 20};

// size bytes of the generator seeded with seed.
Bytes input(std::size_t size, unsigned int seed)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    for (unsigned char& b : out)
        b = static_cast<unsigned char>(rng());
    return out;
}

// FNV-1a, 64 bits, over the bytes as they are.
std::uint64_t fnv(const unsigned char* p, std::size_t n)
{
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

std::uint64_t fnv(const Bytes& b)
{
    return fnv(b.data(), b.size());
}

std::uint64_t fnv(const std::string& s)
{
    return fnv(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

// Appends value as `width` bytes, most significant first.
void putNumber(Bytes& out, std::uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// One recorded output: what was computed (codec and input), its length and its summary.
struct Golden
{
    const char* name;
    std::uint64_t length;
    std::uint64_t hash;
};

// The recorded outputs, in the order the test computes them (printed by the test itself on
// x86-64, see above).
const std::vector<Golden> kGolden = {
#include "codec_golden.inc"
};

// Collects the outputs of one test, named "<group>:<what>", and, at the end, compares them
// with kGolden (every recorded row of the group must have been computed) or prints them.
class Recorder
{
public:
    explicit Recorder(const char* group) : m_prefix(std::string(group) + ":") {}

    void add(const std::string& name, const Bytes& out) { add(name, out.size(), fnv(out)); }
    void add(const std::string& name, const std::string& out) { add(name, out.size(), fnv(out)); }
    void add(const std::string& name, std::uint64_t length, std::uint64_t hash)
    {
        m_rows.push_back({m_prefix + name, length, hash});
    }

    void finish() const
    {
        const std::string& prefix = m_prefix;
        if (std::getenv("ORLIX_GOLDEN_PRINT") != nullptr) {
            for (const Row& r : m_rows)
                std::printf("    {\"%s\", %llu, 0x%016llXull},\n", r.name.c_str(),
                            static_cast<unsigned long long>(r.length),
                            static_cast<unsigned long long>(r.hash));
            return;
        }
        std::map<std::string, const Golden*> table;
        for (const Golden& g : kGolden)
            table[g.name] = &g;
        std::size_t expected = 0;
        for (const auto& entry : table)
            expected += entry.first.rfind(prefix, 0) == 0 ? 1 : 0;
        EXPECT_EQ(expected, m_rows.size()) << "rows recorded for " << prefix;
        for (const Row& r : m_rows) {
            const auto it = table.find(r.name);
            if (it == table.end()) {
                ADD_FAILURE() << r.name << ": no recorded value";
                continue;
            }
            EXPECT_EQ(it->second->length, r.length) << r.name << ": output length";
            EXPECT_EQ(it->second->hash, r.hash) << r.name << ": output bytes differ";
        }
    }

private:
    struct Row
    {
        std::string name;
        std::uint64_t length;
        std::uint64_t hash;
    };
    std::string m_prefix;
    std::vector<Row> m_rows;
};

std::string label(const char* codec, std::size_t length)
{
    return std::string(codec) + "/" + std::to_string(length);
}

TEST(CodecGolden, Digests)
{
    Recorder rec("digest");
    for (std::size_t n : kLengths) {
        const Bytes data = input(n, 1);
        Bytes md5(16), sha(20);
        CMd5 m;
        m.update(data.data(), static_cast<unsigned int>(n));
        m.final(md5.data());
        CSha1 s;
        // In pieces of 7 bytes for the second half: the block buffering is part of the path.
        s.update(data.data(), static_cast<unsigned int>(n / 2));
        for (std::size_t pos = n / 2; pos < n; pos += 7)
            s.update(data.data() + pos, static_cast<unsigned int>(std::min<std::size_t>(7, n - pos)));
        s.final(sha.data(), 20);
        rec.add(label("md5", n), md5);
        rec.add(label("sha1", n), sha);
    }
    rec.finish();
}

TEST(CodecGolden, Checksums)
{
    Recorder rec("checksum");
    for (std::size_t n : kLengths) {
        const Bytes data = input(n, 2);
        const auto len = static_cast<unsigned int>(n);
        Bytes c32, c16, chained;
        putNumber(c32, crc32(data.data(), len), 4);
        putNumber(c16, crc16(0, data.data(), len), 2);
        // Chained from a non-zero register over two pieces.
        const unsigned int half = len / 3;
        putNumber(chained, crc32(crc32(0x12345678u, data.data(), half), data.data() + half, len - half), 4);
        putNumber(chained, crc16(crc16(0xBEEF, data.data(), half), data.data() + half, len - half), 2);
        rec.add(label("crc32", n), c32);
        rec.add(label("crc16", n), c16);
        rec.add(label("crc-chained", n), chained);
    }
    rec.finish();
}

TEST(CodecGolden, Des)
{
    Recorder rec("des");
    const Bytes iv = input(16, 30);
    for (std::size_t keyLen : {8u, 16u, 24u}) {
        const Bytes key = input(keyLen, static_cast<unsigned int>(31 + keyLen));
        for (int mode = 0; mode < 3; ++mode) { // ECB, CBC, CBC over 16-byte blocks
            const auto type = mode == 2 ? CTripleDes::blockType16 : CTripleDes::blockType8;
            const unsigned char* ivp = mode == 0 ? nullptr : iv.data();
            for (std::size_t n : kLengths) {
                const Bytes data = input(n, 3);
                CTripleDes des(key.data(), static_cast<unsigned int>(keyLen), type, ivp);
                const std::size_t block = type == CTripleDes::blockType16 && keyLen > 8 ? 16 : 8;
                const std::size_t whole = n / block * block;
                Bytes enc(whole), dec(whole), back(whole);
                if (whole != 0) {
                    ASSERT_TRUE(des.encrypt(enc.data(), data.data(), static_cast<unsigned int>(whole)));
                    ASSERT_TRUE(des.decrypt(dec.data(), data.data(), static_cast<unsigned int>(whole)));
                    ASSERT_TRUE(des.decrypt(back.data(), enc.data(), static_cast<unsigned int>(whole)));
                    ASSERT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
                }
                const std::string what = "des-k" + std::to_string(keyLen) + "-m" + std::to_string(mode);
                rec.add(label((what + "-enc").c_str(), n), enc);
                rec.add(label((what + "-dec").c_str(), n), dec);
            }
        }
    }
    rec.finish();
}

TEST(CodecGolden, Base64)
{
    Recorder rec("base64");
    for (std::size_t n : kLengths) {
        const Bytes data = input(n, 4);
        const int len = static_cast<int>(n);
        std::vector<char> text(static_cast<std::size_t>(base64EncodeLen(len)));
        const int written = base64Encode(text.data(), reinterpret_cast<const char*>(data.data()), len);
        ASSERT_GT(written, 0);
        const std::string encoded(text.data());
        rec.add(label("base64-enc", n), encoded);

        std::vector<char> raw(static_cast<std::size_t>(base64DecodeLen(encoded.c_str())) + 1);
        const int got = base64Decode(raw.data(), encoded.c_str());
        ASSERT_EQ(len, got);
        ASSERT_EQ(0, n == 0 ? 0 : std::memcmp(data.data(), raw.data(), n));

        // Text made of alphabet characters only, of every length (a ragged end included).
        static const char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string letters;
        for (unsigned char b : data)
            letters += kAlphabet[b & 63];
        std::vector<char> out(static_cast<std::size_t>(base64DecodeLen(letters.c_str())) + 1);
        const int decoded = base64Decode(out.data(), letters.c_str());
        ASSERT_GE(decoded, 0);
        rec.add(label("base64-dec", n), Bytes(out.begin(), out.begin() + decoded));
    }
    rec.finish();
}

// Code page 936 text of about n bytes: double bytes drawn from the whole lead and trail
// ranges (with and without a character), ASCII and the single byte 0x80, no zero byte.
std::string gbkText(const Bytes& random)
{
    std::string text;
    for (std::size_t i = 0; i + 1 < random.size(); i += 2) {
        const unsigned char a = random[i], b = random[i + 1];
        if (a < 0x60) {
            text += static_cast<char>(0x20 + (a & 0x3F)); // ASCII
            text += static_cast<char>(0x20 + (b & 0x3F));
        } else if (a == 0x60) {
            text += '\x80';
        } else {
            text += static_cast<char>(0x81 + a % 0x7E);                // lead 0x81-0xFE
            text += static_cast<char>(b == 0x7F || b < 0x40 ? 0x40 + (b & 0x3F) : b); // trail
        }
    }
    return text;
}

// UCS-2 units as bytes, most significant first.
Bytes unitBytes(const unsigned short* units, std::size_t n)
{
    Bytes out;
    for (std::size_t i = 0; i < n; ++i)
        putNumber(out, units[i], 2);
    return out;
}

TEST(CodecGolden, Charsets)
{
    Recorder rec("charset");
    for (std::size_t n : kLengths) {
        const Bytes random = input(n, 5);
        const std::string gbk = gbkText(random);
        const int gbkLen = static_cast<int>(gbk.size());

        // Code page 936 to UCS-2 and back (units without a code end the way back).
        std::vector<unsigned short> units(gbk.size() + 1);
        const int unitCount = Gb2312ToUni(gbk.c_str(), units.data(), static_cast<int>(units.size()));
        rec.add(label("gbk-ucs2", n), unitBytes(units.data(), static_cast<std::size_t>(unitCount)));
        std::vector<unsigned short> encodable;
        for (int i = 0; i < unitCount; ++i) {
            unsigned char tmp[2];
            if (uni2char(units[static_cast<std::size_t>(i)], tmp, 2) > 0)
                encodable.push_back(units[static_cast<std::size_t>(i)]);
        }
        std::vector<char> back(encodable.size() * 2 + 1);
        const int converted = UniTGb2312(encodable.data(), static_cast<int>(encodable.size()),
                                         back.data(), static_cast<int>(back.size()));
        ASSERT_EQ(static_cast<int>(encodable.size()), converted);
        rec.add(label("ucs2-gbk", n), std::string(back.data()));

        // Code page 936 to UTF-8 and back.
        std::vector<unsigned char> utf8(gbk.size() * 3 / 2 + 4);
        const int utf8Len = Gb2312TUtf8(gbk.c_str(), utf8.data(), static_cast<int>(utf8.size()));
        rec.add(label("gbk-utf8", n), Bytes(utf8.begin(), utf8.begin() + utf8Len));
        std::vector<char> gbkBack(static_cast<std::size_t>(gbkLen) + 2);
        const int chars = utf8TGb2312(utf8.data(), gbkBack.data(), utf8Len,
                                      static_cast<int>(gbkBack.size()));
        Bytes summary;
        putNumber(summary, static_cast<std::uint32_t>(chars), 4);
        const std::string gbkAgain(gbkBack.data());
        summary.insert(summary.end(), gbkAgain.begin(), gbkAgain.end());
        rec.add(label("utf8-gbk", n), summary);

        // UTF-8 to UCS-2 and back.
        std::vector<unsigned short> wide(static_cast<std::size_t>(utf8Len) + 1);
        const int wideCount = utf8_mbstowcs(wide.data(), utf8.data(), utf8Len);
        rec.add(label("utf8-ucs2", n), unitBytes(wide.data(), static_cast<std::size_t>(wideCount)));
        wide[static_cast<std::size_t>(wideCount)] = 0;
        std::vector<unsigned char> narrow(static_cast<std::size_t>(utf8Len) + 1);
        const int narrowLen = utf8_wcstombs(narrow.data(), wide.data(), utf8Len + 1);
        rec.add(label("ucs2-utf8", n), Bytes(narrow.begin(), narrow.begin() + narrowLen));

        // Code page 1252 to UTF-8 and back; the five undefined bytes are left out, since the
        // first one would end the conversion.
        Bytes cp1252;
        for (unsigned char b : random) {
            if (b != 0 && b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D)
                cp1252.push_back(b);
        }
        if (!cp1252.empty()) {
            const int cpLen = static_cast<int>(cp1252.size());
            std::vector<unsigned char> u(cp1252.size() * 3);
            ASSERT_EQ(0, cp1252_to_utf8(u.data(), static_cast<int>(u.size()), cp1252.data(), cpLen));
            const int needed = cp1252_to_utf8(nullptr, 0, cp1252.data(), cpLen);
            rec.add(label("cp1252-utf8", n), Bytes(u.begin(), u.begin() + needed));
            std::vector<unsigned char> c(static_cast<std::size_t>(needed));
            const int cLen = utf8_to_cp1252(u.data(), needed, c.data());
            ASSERT_EQ(cpLen, cLen);
            ASSERT_TRUE(std::equal(cp1252.begin(), cp1252.end(), c.begin()));
        } else {
            rec.add(label("cp1252-utf8", n), Bytes());
        }
    }
    rec.finish();
}

TEST(CodecGolden, PacketLayouts)
{
    Recorder rec("packet");
    const Bytes data = input(4095, 6);
    for (unsigned int extSize : {0u, 1u, 16u, 255u, 256u, 300u}) {
        Orlix::Memory::CPacket packet(16, extSize);
        ASSERT_TRUE(packet.valid());
        Bytes row;
        putNumber(row, packet.getExtraSize(), 4);
        if (auto* extra = static_cast<unsigned char*>(packet.getExtraData())) {
            for (unsigned int i = 0; i < packet.getExtraSize(); ++i)
                extra[i] = static_cast<unsigned char>(i * 7 + extSize);
            row.insert(row.end(), extra, extra + packet.getExtraSize());
        }
        rec.add("packet-extra/" + std::to_string(extSize), row);
    }
    // Appended pieces, a view of the middle and the legacy wrapper see the same bytes.
    Orlix::Memory::CPacket whole(static_cast<unsigned int>(data.size()), 8);
    ASSERT_TRUE(whole.resize(0));
    Bytes copy = data;
    for (std::size_t pos = 0; pos < copy.size(); pos += 1000)
        whole.putBuffer(copy.data() + pos, static_cast<unsigned int>(std::min<std::size_t>(1000, copy.size() - pos)));
    ASSERT_EQ(data.size(), whole.size());
    rec.add("packet-data/4095", Bytes(whole.getBuffer(), whole.getBuffer() + whole.size()));
    Orlix::Memory::CPacket view(whole, 1000, 2000, 4);
    ASSERT_TRUE(view.valid());
    rec.add("packet-view/2000", Bytes(view.getBuffer(), view.getBuffer() + view.size()));
    rec.finish();
}

TEST(CodecGolden, VersionRecordsAndAddresses)
{
    Recorder rec("version");
    OrlixTest::PrintCapture capture;
    const Orlix::Infra::CVersion versions[] = {
        {"net", 3, 2, 1, "$Revision: 123 $", "Nov 28 2016"},
        {"a-module-name-longer-than-thirty-one-characters", -1, 65536, 0x7FFFFFFF, "12abc", "Mar  5 2016"},
        {"", 0, 0, 0, "none", "Xyz 99 99999"},
    };
    for (const auto& v : versions) {
        Bytes row(v.name, v.name + std::strlen(v.name));
        for (int field : {v.major, v.minor, v.revision, v.svn, v.date.year, v.date.month, v.date.day})
            putNumber(row, static_cast<std::uint32_t>(field), 4);
        v.print();
        rec.add("version/" + std::to_string(row.size()), row);
    }
    rec.add("version-lines/3", capture.text());

    Bytes ips;
    for (const char* text : {"192.168.1.2", "10.1", "300.1.1.1", "255.255.255.255", "0.0.0.1"}) {
        const IpAddress ip = stringToIp(text);
        putNumber(ips, ip.value, 4);
        char buf[16];
        ipToString(ip, buf, sizeof(buf));
        ips.insert(ips.end(), buf, buf + std::strlen(buf));
    }
    rec.add("ip/5", ips);
    rec.finish();
}

} // namespace
