// DES and triple DES: published vectors, how the key length picks the cipher, the size
// rule and its log lines, the 16-byte double-block variant, and agreement with OpenSSL on
// random keys, IVs and messages.
#include "platform/text.h"
#include "infra/des.h"

#include "support/testsupport.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#if ORLIX_TEST_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

#include <cstdio>
#include <cstring>
#include <random>
#include <regex>
#include <string>

namespace {

using namespace UtilsTesting;
using Orlix::Utils::CTripleDes;

Bytes fromHex(const std::string& hex)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// One call of a fresh object over whole blocks.
Bytes crypt(bool enc, const Bytes& key, const Bytes& data, const unsigned char* iv = nullptr,
            CTripleDes::BlockType type = CTripleDes::blockType8)
{
    CTripleDes des(key.data(), static_cast<unsigned int>(key.size()), type, iv);
    Bytes out(data.size());
    const auto size = static_cast<unsigned int>(data.size());
    EXPECT_TRUE(enc ? des.encrypt(out.data(), data.data(), size)
                    : des.decrypt(out.data(), data.data(), size));
    return out;
}

#if ORLIX_TEST_HAVE_OPENSSL
// OpenSSL in one call, without padding. Single DES lives in OpenSSL's legacy provider, so it
// is reached as three-key triple DES with K1 = K2 = K3, which is single DES.
Bytes openssl(const EVP_CIPHER* cipher, const Bytes& key, const unsigned char* iv,
              const Bytes& data, bool enc = true)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 16);
    int n = 0, tail = 0;
    EXPECT_EQ(1, EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv, enc ? 1 : 0));
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EXPECT_EQ(1, EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())));
    EXPECT_EQ(1, EVP_CipherFinal_ex(ctx, out.data() + n, &tail));
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

// The key OpenSSL's three-key triple DES needs to compute what our key of any length means.
Bytes threeKeys(const Bytes& key)
{
    Bytes k(24, 0);
    std::memcpy(k.data(), key.data(), std::min<std::size_t>(key.size(), 24));
    if (key.size() <= 8)
        std::memcpy(k.data() + 8, k.data(), 8);
    if (key.size() <= 16)
        std::memcpy(k.data() + 16, k.data(), 8);
    return k;
}
#endif

TEST(Des, PublishedVectors)
{
    const char* vectors[][4] = {
        // key, IV (CBC) or none (ECB), plaintext, ciphertext. The classic worked example,
        // then FIPS 81's "Now is the time for all " in ECB and CBC mode.
        {"133457799BBCDFF1", "", "0123456789ABCDEF", "85E813540F0AB405"},
        {"0123456789ABCDEF", "", "4E6F77206973207468652074696D6520666F7220616C6C20",
         "3FA40E8A984D48156A271787AB8883F9893D51EC4B563B53"},
        {"0123456789ABCDEF", "1234567890ABCDEF", "4E6F77206973207468652074696D6520666F7220616C6C20",
         "E5C7CDDE872BF27C43E934008C389C0F683788499A7C05F6"},
        // NIST SP 800-20 known answers (variable plaintext, variable key, all zero); parity
        // bits are ignored, so key 01..01 is the zero key.
        {"0101010101010101", "", "8000000000000000", "95F8A5E5DD31D900"},
        {"8001010101010101", "", "0000000000000000", "95A8D72813DAA94D"},
        {"0000000000000000", "", "0000000000000000", "8CA64DE9C1B123A7"},
        // The three-key example of NIST SP 800-67: "The qufck brown fox jump" (sic).
        {"0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123", "",
         "54686520717566636B2062726F776E20666F78206A756D70",
         "A826FD8CE53B855FCCE21C8112256FE668D5C05DD9B6B900"},
    };
    for (const auto& v : vectors) {
        const Bytes key = fromHex(v[0]), iv = fromHex(v[1]), plain = fromHex(v[2]);
        const Bytes cipher = fromHex(v[3]);
        const unsigned char* ivp = iv.empty() ? nullptr : iv.data();
        EXPECT_EQ(cipher, crypt(true, key, plain, ivp)) << v[0] << ' ' << v[1];
        EXPECT_EQ(plain, crypt(false, key, cipher, ivp)) << v[0] << ' ' << v[1];
    }
}

TEST(Des, SizeIsRoundedDownToWholeBlocksAndLogged)
{
    const Bytes key = fromHex("0123456789ABCDEFFEDCBA987654321089ABCDEF01234567");
    // 20 bytes are two 8-byte blocks and a remainder, 24 bytes one 16-byte block and one.
    for (const auto type : {CTripleDes::blockType8, CTripleDes::blockType16}) {
        OrlixTest::PrintCapture capture;
        const unsigned int size = type == CTripleDes::blockType8 ? 20 : 24;
        const Bytes plain(size, 0x5A), whole(plain.begin(), plain.begin() + 16);
        CTripleDes des(key.data(), 24, type);
        char self[32];
        // The library formats pointers in its diagnostics through the platform layer.
        Orlix::Platform::boundedFormat(self, sizeof(self), "%p", static_cast<void*>(&des));
        // The error line; decrypt() keeps a wording of its own ("of th").
        auto logged = [&](const char* of) {
            return std::regex_search(
                capture.text(),
                std::regex(R"(error .*\[src/utils/des\.cpp:\d+\] this:)" + std::string(self) +
                           R"( tid:\d+, CTripleDes::encrypt\(\): size is not the multiple )" + of +
                           R"( 'BlockSize'!!! size\()" + std::to_string(size) +
                           R"(\), real_size\(16\)\n)"));
        };
        Bytes out(size, 0xEE), back(size, 0xEE);
        EXPECT_FALSE(des.encrypt(out.data(), plain.data(), size));
        EXPECT_EQ(crypt(true, key, whole, nullptr, type), Bytes(out.begin(), out.begin() + 16));
        EXPECT_EQ(Bytes(size - 16, 0xEE), Bytes(out.begin() + 16, out.end()));
        EXPECT_TRUE(logged("of the")) << capture.text();
        capture.clear();
        EXPECT_FALSE(des.decrypt(back.data(), out.data(), size));
        EXPECT_EQ(whole, Bytes(back.begin(), back.begin() + 16));
        EXPECT_EQ(Bytes(size - 16, 0xEE), Bytes(back.begin() + 16, back.end()));
        EXPECT_TRUE(logged("of th")) << capture.text();

        // Size 0 is a whole number of blocks: nothing written, nothing logged.
        capture.clear();
        EXPECT_TRUE(des.encrypt(out.data(), plain.data(), 0));
        EXPECT_TRUE(capture.text().empty());
    }
}

// The double-block variant computed from single DES operations of OpenSSL (of this library's
// single DES, held to the published vectors above, where OpenSSL is not there for the
// target): each stage runs on both halves, and l1 and r0 trade places between the stages.
Bytes doubleBlockReference(const Bytes& key, const unsigned char* iv, const Bytes& data)
{
    auto stage = [&](int which, bool enc, unsigned char* block) { // a 24-byte key
        const Bytes k8(&key[8 * which], &key[8 * which + 8]);
#if ORLIX_TEST_HAVE_OPENSSL
        const Bytes out =
            openssl(EVP_des_ede3_ecb(), threeKeys(k8), nullptr, Bytes(block, block + 8), enc);
#else
        const Bytes out = crypt(enc, k8, Bytes(block, block + 8));
#endif
        std::memcpy(block, out.data(), 8);
    };
    Bytes out(data.size()), chain(16, 0);
    if (iv != nullptr)
        chain.assign(iv, iv + 16);
    for (std::size_t pos = 0; pos < data.size(); pos += 16) {
        unsigned char b[16];
        for (int i = 0; i < 16; ++i)
            b[i] = static_cast<unsigned char>(data[pos + i] ^ chain[i]);
        for (int s = 0; s < 3; ++s) {
            if (s != 0)
                std::swap_ranges(b + 4, b + 8, b + 8);
            stage(s, s != 1, b);
            stage(s, s != 1, b + 8);
        }
        std::memcpy(out.data() + pos, b, 16);
        if (iv != nullptr)
            chain.assign(b, b + 16);
    }
    return out;
}

TEST(Des, DoubleBlockVariant)
{
    std::mt19937 rng(13);
    const Bytes key = randomBytes(rng, 24), iv = randomBytes(rng, 16), data = randomBytes(rng, 64);
    for (const unsigned char* ivp : {static_cast<const unsigned char*>(nullptr), iv.data()}) {
        const Bytes cipher = crypt(true, key, data, ivp, CTripleDes::blockType16);
        EXPECT_EQ(doubleBlockReference(key, ivp, data), cipher);
        EXPECT_EQ(data, crypt(false, key, cipher, ivp, CTripleDes::blockType16));
    }

    // A single DES key ignores the block type: 8-byte blocks of single DES.
    const Bytes k8 = randomBytes(rng, 8);
    CTripleDes single(k8.data(), 8, CTripleDes::blockType16);
    Bytes eight(8);
    EXPECT_TRUE(single.encrypt(eight.data(), data.data(), 8));
    EXPECT_EQ(crypt(true, k8, Bytes(data.begin(), data.begin() + 8)), eight);
}

#if ORLIX_TEST_HAVE_OPENSSL
TEST(Des, AgreesWithOpenSslOnRandomKeysAndMessages)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 300; ++round) {
        const std::size_t keyLen = std::uniform_int_distribution<>(1, 24)(rng);
        const Bytes key = randomBytes(rng, keyLen), iv = randomBytes(rng, 8);
        const Bytes data = randomBytes(rng, 8 * std::uniform_int_distribution<>(0, 40)(rng));
        const bool cbc = rng() % 2 == 0;
        const unsigned char* ivp = cbc ? iv.data() : nullptr;
        const Bytes ours = crypt(true, key, data, ivp);
        ASSERT_EQ(openssl(cbc ? EVP_des_ede3_cbc() : EVP_des_ede3_ecb(), threeKeys(key), ivp, data),
                  ours)
            << "key length " << keyLen << (cbc ? " CBC" : " ECB");
        // Every call of one object starts from the IV again, and works in place.
        CTripleDes des(key.data(), static_cast<unsigned int>(keyLen), CTripleDes::blockType8, ivp);
        const auto size = static_cast<unsigned int>(data.size());
        Bytes buffer;
        for (int call = 0; call < 2; ++call) {
            buffer = data;
            ASSERT_TRUE(des.encrypt(buffer.data(), buffer.data(), size));
            ASSERT_EQ(ours, buffer);
        }
        ASSERT_TRUE(des.decrypt(buffer.data(), buffer.data(), size));
        ASSERT_EQ(data, buffer);
        // The same key spelt out as three keys and followed by bytes past the 24th, which
        // do not count.
        Bytes longKey = threeKeys(key);
        longKey.resize(30, static_cast<unsigned char>(rng() | 1));
        ASSERT_EQ(ours, crypt(true, longKey, data, ivp)) << "key length " << keyLen;
        if (keyLen == 16) { // OpenSSL's two-key cipher takes the 16 bytes as they are
            ASSERT_EQ(openssl(cbc ? EVP_des_ede_cbc() : EVP_des_ede_ecb(), key, ivp, data), ours);
        }
    }
}
#endif

TEST(DesDeathTest, EmptyKeyAndNullBuffersAreAssertionsAtFirstUse)
{
    const unsigned char key[8] = {};
    unsigned char buffer[8] = {};
    EXPECT_DEATH(CTripleDes(key, 0).encrypt(buffer, buffer, 8), "assertion \\(size > 0\\) failed");
    EXPECT_DEATH(CTripleDes(key, 8).encrypt(nullptr, buffer, 8),
                 "assertion \\(dst != NULL\\) failed");
}

} // namespace
