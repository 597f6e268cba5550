// orlix des: a published vector, the library over the whole padded input, openssl enc when it
// is installed, and the tool's errors.
#include "clitest.h"

#include "infra/des.h"

#include <gtest/gtest.h>

namespace {

using namespace OrlixTest;
using Orlix::Utils::CTripleDes;

const std::string kKey8 = "133457799bbcdff1";
const std::string kKey16 = "0123456789abcdeffedcba9876543210";
const std::string kKey24 = "0123456789abcdeffedcba987654321089abcdef01234567";
const std::string kIv8 = "1122334455667788";
const std::string kIv16 = "00112233445566778899aabbccddeeff";

std::string unhex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// PKCS#7 padding and one library call over the whole message.
std::string libraryEncrypt(const std::string& keyHex, const std::string& ivHex, bool block16,
                           std::string data)
{
    const std::size_t block = block16 ? 16 : 8;
    data.append(block - data.size() % block, static_cast<char>(block - data.size() % block));
    const std::string key = unhex(keyHex), iv = unhex(ivHex);
    CTripleDes des(reinterpret_cast<const unsigned char*>(key.data()),
                   static_cast<unsigned int>(key.size()),
                   block16 ? CTripleDes::blockType16 : CTripleDes::blockType8,
                   iv.empty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.data()));
    std::string out(data.size(), '\0');
    des.encrypt(reinterpret_cast<unsigned char*>(&out[0]),
                reinterpret_cast<const unsigned char*>(data.data()),
                static_cast<unsigned int>(data.size()));
    return out;
}

std::vector<std::string> desArgs(const char* direction, const std::string& key,
                                 const std::string& iv = "", bool block16 = false)
{
    std::vector<std::string> args{"des", direction, "--key", key};
    if (!iv.empty())
        args.insert(args.end(), {"--iv", iv});
    if (block16)
        args.push_back("--block16");
    return args;
}

TEST(CliDes, PublishedSingleDesVectorAndItsPaddingBlock)
{
    const std::string plain = unhex("0123456789abcdef");
    const RunResult result = orlix({"des", "-e", "--key", "133457799BBCDFF1"}, plain);
    EXPECT_EQ(0, result.status) << result.err;
    ASSERT_EQ(16u, result.out.size()); // a whole block of padding follows a whole block
    EXPECT_EQ(unhex("85e813540f0ab405"), result.out.substr(0, 8));
    EXPECT_EQ(plain, orlix(desArgs("-d", kKey8), result.out).out);
}

TEST(CliDes, ChunkedStreamEqualsOneLibraryCallAndRoundTrips)
{
    struct Mode
    {
        std::string key, iv;
        bool block16;
    } modes[] = {{kKey8, "", false},  {kKey8, kIv8, false},  {kKey16, kIv8, false},
                 {kKey24, "", false}, {kKey24, kIv8, false}, {kKey16, kIv16, true},
                 {kKey24, "", true},  {kKey24, kIv16, true}};
    // Empty input is one pad block; 7 bytes one block less one byte. 49152 bytes make the
    // padding block the whole last chunk, and 49165 more than a chunk, so CBC must chain
    // across chunks; those two run in one mode only.
    for (std::size_t size : {0, 7, 49152, 49165}) {
        const std::string data = randomBytes(size, static_cast<unsigned int>(size));
        for (const Mode& m : modes) {
            if (size != 7 && size != 49165 && (m.key != kKey24 || m.iv.empty() || m.block16))
                continue;
            const RunResult enc = orlix(desArgs("-e", m.key, m.iv, m.block16), data);
            ASSERT_EQ(0, enc.status) << enc.err;
            EXPECT_TRUE(enc.out == libraryEncrypt(m.key, m.iv, m.block16, data))
                << "size " << size << " key " << m.key << " iv " << m.iv << " b16 " << m.block16;
            const RunResult dec = orlix(desArgs("-d", m.key, m.iv, m.block16), enc.out);
            EXPECT_EQ(0, dec.status) << dec.err;
            EXPECT_TRUE(dec.out == data) << "size " << size << " key " << m.key;
        }
    }
}

TEST(CliDes, AgreesWithOpensslEnc)
{
    if (run({"openssl", "version"}).status < 0)
        GTEST_SKIP() << "the openssl program is not installed";
    const std::string data = randomBytes(1003, 300);
    const std::string ciphers[][3] = {{"-des-ede3-cbc", kKey24, kIv8}, {"-des-ede3", kKey24, ""},
                                      {"-des-ede-cbc", kKey16, kIv8},  {"-des-ede", kKey16, ""},
                                      {"-des-cbc", kKey8, kIv8},       {"-des-ecb", kKey8, ""}};
    for (const auto& c : ciphers) {
        std::vector<std::string> reference{"openssl", "enc", c[0], "-K", c[1]};
        if (!c[2].empty())
            reference.insert(reference.end(), {"-iv", c[2]});
        RunResult expected = run(reference, data);
        if (expected.status != 0) { // single DES may sit in a provider that must be named
            reference.insert(reference.end(), {"-provider", "legacy", "-provider", "default"});
            expected = run(reference, data);
        }
        if (expected.status == 0) {
            EXPECT_TRUE(orlix(desArgs("-e", c[1], c[2]), data).out == expected.out) << c[0];
        }
    }
}

TEST(CliDes, BadKeysIvsAndCiphertextsFailWithExitOne)
{
    const std::string cipher = orlix(desArgs("-e", kKey24, kIv8), "secret").out;
    EXPECT_EQ("secret", orlix(desArgs("-d", kKey24, kIv8), cipher).out);
    struct Case
    {
        std::vector<std::string> args;
        std::string input;
        const char* message;
    } cases[] = {
        {desArgs("-e", "0123456789abcdeg"), "",
         "--key: 'g' at position 16 is not a hexadecimal digit"},
        {desArgs("-e", "0123456789abcde"), "", "--key: odd number of hexadecimal digits (15)"},
        {desArgs("-e", "0123456789abcdef01"), "",
         "--key: the key must be 8, 16 or 24 bytes (16, 32 or 48 hex digits); got 9 bytes"},
        {desArgs("-e", kKey24, kIv16), "",
         "--iv: the IV must be one block, 8 bytes (16 hex digits); got 16 bytes"},
        {desArgs("-e", kKey8, "", true), "",
         "--block16 needs a triple DES key (16 or 24 bytes); got 8 bytes"},
        {desArgs("-d", kKey24), cipher,
         "bad padding after decryption (wrong key, IV or mode, or the data was not encrypted "
         "with PKCS#7 padding)"},
        {desArgs("-d", kKey24, kIv8), cipher + "x",
         "encrypted input must be a non-zero multiple of 8 bytes; got 9"},
        {desArgs("-d", kKey24, kIv8), "",
         "encrypted input must be a non-zero multiple of 8 bytes; got 0"},
    };
    for (const Case& c : cases) {
        const RunResult result = orlix(c.args, c.input);
        EXPECT_EQ(1, result.status) << c.message;
        EXPECT_EQ(std::string("orlix: des: ") + c.message + "\n", result.err);
    }
}

} // namespace
