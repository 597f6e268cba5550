// DES and triple DES: published vectors, how the key length picks the cipher, the size
// rule and its log lines, the 16-byte double-block variant, and agreement with OpenSSL on
// random keys, IVs and messages.
#include "infra/des.h"

#include "support/testsupport.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

Bytes fromText(const std::string& text)
{
    return Bytes(text.begin(), text.end());
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

template <class... Args>
Bytes encrypt(const Args&... args)
{
    return crypt(true, args...);
}

template <class... Args>
Bytes decrypt(const Args&... args)
{
    return crypt(false, args...);
}

// OpenSSL in one call, without padding. Single DES lives in OpenSSL's legacy provider, so it
// is reached as three-key triple DES with K1 = K2 = K3, which is single DES.
Bytes openssl(const EVP_CIPHER* cipher, const Bytes& key, const unsigned char* iv,
              const Bytes& data, bool enc)
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
    if (key.size() <= 8) {
        std::memcpy(k.data() + 8, k.data(), 8);
        std::memcpy(k.data() + 16, k.data(), 8);
    } else if (key.size() <= 16) {
        std::memcpy(k.data() + 16, k.data(), 8);
    }
    return k;
}

TEST(Des, PublishedVectors)
{
    // The classic worked example and the FIPS 81 "Now is the time for all " message.
    EXPECT_EQ(fromHex("85E813540F0AB405"),
              encrypt(fromHex("133457799BBCDFF1"), fromHex("0123456789ABCDEF")));
    const Bytes key = fromHex("0123456789ABCDEF");
    const Bytes plain = fromText("Now is the time for all ");
    EXPECT_EQ(fromHex("3FA40E8A984D48156A271787AB8883F9893D51EC4B563B53"), encrypt(key, plain));
    const Bytes iv = fromHex("1234567890ABCDEF");
    const Bytes cbc = fromHex("E5C7CDDE872BF27C43E934008C389C0F683788499A7C05F6");
    EXPECT_EQ(cbc, encrypt(key, plain, iv.data()));
    EXPECT_EQ(plain, decrypt(key, cbc, iv.data()));
    // Known-answer tests of NIST SP 800-20 (variable plaintext, variable key, the all-zero
    // case); parity bits are ignored, so key 01..01 is the zero key.
    EXPECT_EQ(fromHex("95F8A5E5DD31D900"),
              encrypt(fromHex("0101010101010101"), fromHex("8000000000000000")));
    EXPECT_EQ(fromHex("95A8D72813DAA94D"),
              encrypt(fromHex("8001010101010101"), fromHex("0000000000000000")));
    EXPECT_EQ(fromHex("8CA64DE9C1B123A7"),
              encrypt(fromHex("0000000000000000"), fromHex("0000000000000000")));
    // The three-key example of NIST SP 800-67 (its plaintext really reads "qufck").
    const Bytes tdeaKey = fromHex("0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123");
    const Bytes tdeaPlain = fromText("The qufck brown fox jump");
    const Bytes tdeaCipher = fromHex("A826FD8CE53B855FCCE21C8112256FE668D5C05DD9B6B900");
    EXPECT_EQ(tdeaCipher, encrypt(tdeaKey, tdeaPlain));
    EXPECT_EQ(tdeaPlain, decrypt(tdeaKey, tdeaCipher));
}

TEST(Des, SizeIsRoundedDownToWholeBlocksAndLogged)
{
    OrlixTest::PrintCapture capture;
    const Bytes key = fromHex("0123456789ABCDEFFEDCBA9876543210");
    const Bytes plain(20, 0x5A);
    CTripleDes des(key.data(), 16);
    Bytes out(20, 0xEE);
    EXPECT_FALSE(des.encrypt(out.data(), plain.data(), 20));
    EXPECT_EQ(Bytes(4, 0xEE), Bytes(out.begin() + 16, out.end()));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16),
              encrypt(key, Bytes(plain.begin(), plain.begin() + 16)));

    char prefix[64];
    std::snprintf(prefix, sizeof(prefix), "this:%p tid:", static_cast<void*>(&des));
    const std::string log = capture.text();
    EXPECT_NE(std::string::npos, log.find("error "));
    EXPECT_NE(std::string::npos, log.find("[src/utils/des.cpp:"));
    EXPECT_NE(std::string::npos, log.find(prefix));
    EXPECT_NE(std::string::npos,
              log.find(", CTripleDes::encrypt(): size is not the multiple of the 'BlockSize'!!! "
                       "size(20), real_size(16)\n"));

    capture.clear();
    Bytes back(20, 0xEE);
    EXPECT_FALSE(des.decrypt(back.data(), out.data(), 20));
    EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 16), Bytes(back.begin(), back.begin() + 16));
    EXPECT_EQ(Bytes(4, 0xEE), Bytes(back.begin() + 16, back.end()));
    EXPECT_NE(std::string::npos,
              capture.text().find(", CTripleDes::encrypt(): size is not the multiple of th "
                                  "'BlockSize'!!! size(20), real_size(16)\n"));

    // Size 0 is a whole number of blocks: nothing written, nothing logged.
    capture.clear();
    EXPECT_TRUE(des.encrypt(out.data(), plain.data(), 0));
    EXPECT_TRUE(capture.text().empty());
}

TEST(Des, CbcRestartsFromTheIvOnEveryCallAndWorksInPlace)
{
    std::mt19937 rng(9);
    const Bytes key = randomBytes(rng, 24), iv = randomBytes(rng, 8), data = randomBytes(rng, 32);
    CTripleDes des(key.data(), 24, CTripleDes::blockType8, iv.data());
    Bytes whole(32), halves(32);
    des.encrypt(whole.data(), data.data(), 32);
    des.encrypt(halves.data(), data.data(), 16);
    des.encrypt(halves.data() + 16, data.data() + 16, 16);
    EXPECT_EQ(Bytes(whole.begin(), whole.begin() + 16), Bytes(halves.begin(), halves.begin() + 16));
    EXPECT_NE(whole, halves);

    Bytes buffer = data;
    EXPECT_TRUE(des.encrypt(buffer.data(), buffer.data(), 32));
    EXPECT_EQ(whole, buffer);
    EXPECT_TRUE(des.decrypt(buffer.data(), buffer.data(), 32));
    EXPECT_EQ(data, buffer);
}

// The double-block variant computed from single DES operations of OpenSSL.
Bytes doubleBlockReference(const Bytes& key, const unsigned char* iv, const Bytes& data)
{
    const Bytes k = threeKeys(key);
    auto stage = [&](int which, bool enc, unsigned char* block) {
        const Bytes single(k.begin() + 8 * which, k.begin() + 8 * which + 8);
        const Bytes out =
            openssl(EVP_des_ede3_ecb(), threeKeys(single), nullptr, Bytes(block, block + 8), enc);
        std::memcpy(block, out.data(), 8);
    };
    Bytes out(data.size());
    Bytes chain(iv != nullptr ? iv : nullptr, iv != nullptr ? iv + 16 : nullptr);
    for (std::size_t pos = 0; pos < data.size(); pos += 16) {
        unsigned char b[16];
        for (int i = 0; i < 16; ++i)
            b[i] = static_cast<unsigned char>(data[pos + i] ^ (iv != nullptr ? chain[i] : 0));
        for (int s = 0; s < 3; ++s) {
            if (s != 0) {
                unsigned char t[4];
                std::memcpy(t, b + 4, 4); // exchange l1 and r0
                std::memmove(b + 4, b + 8, 4);
                std::memcpy(b + 8, t, 4);
            }
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
    const Bytes ecb = encrypt(key, data, nullptr, CTripleDes::blockType16);
    EXPECT_EQ(doubleBlockReference(key, nullptr, data), ecb);
    EXPECT_EQ(data, decrypt(key, ecb, nullptr, CTripleDes::blockType16));

    const Bytes cbc = encrypt(key, data, iv.data(), CTripleDes::blockType16);
    EXPECT_EQ(doubleBlockReference(key, iv.data(), data), cbc);
    EXPECT_EQ(data, decrypt(key, cbc, iv.data(), CTripleDes::blockType16));

    // All 16 IV bytes count with 16-byte blocks, only 8 with 8-byte blocks.
    Bytes iv2 = iv;
    iv2[12] ^= 1;
    EXPECT_NE(cbc, encrypt(key, data, iv2.data(), CTripleDes::blockType16));
    EXPECT_EQ(encrypt(key, data, iv.data()), encrypt(key, data, iv2.data()));

    // 16-byte blocks: 24 bytes are one whole block and a remainder.
    OrlixTest::PrintCapture capture;
    CTripleDes des(key.data(), 24, CTripleDes::blockType16);
    Bytes out(24, 0);
    EXPECT_FALSE(des.encrypt(out.data(), data.data(), 24));
    EXPECT_TRUE(capture.contains("size(24), real_size(16)"));

    // A single DES key ignores the block type: 8-byte blocks of single DES.
    const Bytes k8 = randomBytes(rng, 8);
    CTripleDes single(k8.data(), 8, CTripleDes::blockType16);
    Bytes eight(8);
    EXPECT_TRUE(single.encrypt(eight.data(), data.data(), 8));
    EXPECT_EQ(encrypt(k8, Bytes(data.begin(), data.begin() + 8)), eight);
}

TEST(Des, AgreesWithOpenSslOnRandomKeysAndMessages)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 300; ++round) {
        const std::size_t keyLen = std::uniform_int_distribution<>(1, 24)(rng);
        const Bytes key = randomBytes(rng, keyLen);
        const std::size_t blocks = std::uniform_int_distribution<>(0, 40)(rng);
        const Bytes data = randomBytes(rng, 8 * blocks);
        const Bytes iv = randomBytes(rng, 8);
        const bool cbc = rng() % 2 == 0;
        const unsigned char* ivp = cbc ? iv.data() : nullptr;
        const EVP_CIPHER* cipher = cbc ? EVP_des_ede3_cbc() : EVP_des_ede3_ecb();
        const Bytes expected = openssl(cipher, threeKeys(key), ivp, data, true);
        const Bytes ours = encrypt(key, data, ivp);
        ASSERT_EQ(expected, ours) << "key length " << keyLen << (cbc ? " CBC" : " ECB");
        ASSERT_EQ(data, decrypt(key, ours, ivp));
        // The same key spelt out as three keys and followed by bytes past the 24th, which
        // do not count.
        Bytes longKey = threeKeys(key);
        longKey.resize(30, static_cast<unsigned char>(rng() | 1));
        ASSERT_EQ(ours, encrypt(longKey, data, ivp)) << "key length " << keyLen;
        if (keyLen == 16) { // OpenSSL's two-key cipher takes the 16 bytes as they are
            ASSERT_EQ(openssl(cbc ? EVP_des_ede_cbc() : EVP_des_ede_ecb(), key, ivp, data, true),
                      ours);
        }
    }
}

TEST(DesDeathTest, EmptyKeyIsAnAssertionAtFirstUse)
{
    const unsigned char key[8] = {};
    unsigned char buffer[8] = {};
    EXPECT_DEATH(
        {
            CTripleDes des(key, 0);
            des.encrypt(buffer, buffer, 8);
        },
        "assertion \\(size > 0\\) failed");
    EXPECT_DEATH(
        {
            CTripleDes des(key, 8);
            des.encrypt(nullptr, buffer, 8);
        },
        "assertion \\(dst != NULL\\) failed");
}

} // namespace
