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

std::string hexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
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
                                 const std::string& iv, bool block16)
{
    std::vector<std::string> args{"des", direction, "--key", key};
    if (!iv.empty()) {
        args.push_back("--iv");
        args.push_back(iv);
    }
    if (block16)
        args.push_back("--block16");
    return args;
}

TEST(CliDes, PublishedSingleDesVectorAndItsPaddingBlock)
{
    const RunResult result =
        orlix({"des", "-e", "--key", "133457799BBCDFF1"}, unhex("0123456789abcdef"));
    EXPECT_EQ(0, result.status) << result.err;
    ASSERT_EQ(16u, result.out.size()); // a whole block of padding follows a whole block
    EXPECT_EQ("85e813540f0ab405", hexOf(result.out.substr(0, 8)));
    EXPECT_EQ(unhex("0123456789abcdef"), orlix({"des", "-d", "--key", kKey8}, result.out).out);
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
    // One block less one byte, and more than the 48 KiB chunk: CBC must chain across chunks.
    // With 49152 bytes the padding block is the whole last chunk; empty input is one pad block.
    struct Input
    {
        std::size_t size;
        bool allModes;
    } inputs[] = {{0, false}, {7, true}, {49152, false}, {49165, true}};
    unsigned int seed = 200;
    for (const Input& input : inputs) {
        const std::string data = randomBytes(input.size, seed++);
        for (const Mode& m : modes) {
            if (!input.allModes && (m.key != kKey24 || m.iv.empty() || m.block16))
                continue;
            const RunResult enc = orlix(desArgs("-e", m.key, m.iv, m.block16), data);
            ASSERT_EQ(0, enc.status) << enc.err;
            EXPECT_TRUE(enc.out == libraryEncrypt(m.key, m.iv, m.block16, data))
                << "size " << input.size << " key " << m.key << " iv " << m.iv << " b16 "
                << m.block16;
            const RunResult dec = orlix(desArgs("-d", m.key, m.iv, m.block16), enc.out);
            EXPECT_EQ(0, dec.status) << dec.err;
            EXPECT_TRUE(dec.out == data) << "size " << input.size << " key " << m.key;
        }
    }
}

TEST(CliDes, AgreesWithOpensslEnc)
{
    if (!haveProgram("openssl"))
        GTEST_SKIP() << "the openssl program is not installed";
    const std::string data = randomBytes(1003, 300);
    struct Cipher
    {
        const char* name;
        std::string key, iv;
    } ciphers[] = {{"-des-ede3-cbc", kKey24, kIv8}, {"-des-ede3", kKey24, ""},
                   {"-des-ede-cbc", kKey16, kIv8},  {"-des-ede", kKey16, ""},
                   {"-des-cbc", kKey8, kIv8},       {"-des-ecb", kKey8, ""}};
    for (const Cipher& c : ciphers) {
        std::vector<std::string> reference{"openssl", "enc", c.name, "-K", c.key};
        if (!c.iv.empty()) {
            reference.push_back("-iv");
            reference.push_back(c.iv);
        }
        RunResult expected = run(reference, data);
        if (expected.status != 0) { // single DES may sit in a provider that must be named
            reference.insert(reference.end(), {"-provider", "legacy", "-provider", "default"});
            expected = run(reference, data);
        }
        if (expected.status != 0)
            continue;
        EXPECT_TRUE(orlix(desArgs("-e", c.key, c.iv, false), data).out == expected.out) << c.name;
    }
}

TEST(CliDes, BadKeysIvsAndCiphertextsFailWithExitOne)
{
    const std::string cipher = orlix(desArgs("-e", kKey24, kIv8, false), "secret").out;
    struct Case
    {
        std::vector<std::string> args;
        std::string input;
        const char* message;
    } cases[] = {
        {{"des", "-e", "--key", "0123456789abcdeg"},
         "",
         "orlix: des: --key: 'g' at position 16 is not a hexadecimal digit\n"},
        {{"des", "-e", "--key", "0123456789abcde"},
         "",
         "orlix: des: --key: odd number of hexadecimal digits (15)\n"},
        {{"des", "-e", "--key", "0123456789abcdef01"},
         "",
         "orlix: des: --key: the key must be 8, 16 or 24 bytes (16, 32 or 48 hex digits); got "
         "9 bytes\n"},
        {{"des", "-e", "--key", kKey24, "--iv", kIv16},
         "",
         "orlix: des: --iv: the IV must be one block, 8 bytes (16 hex digits); got 16 bytes\n"},
        {{"des", "-e", "--key", kKey8, "--block16"},
         "",
         "orlix: des: --block16 needs a triple DES key (16 or 24 bytes); got 8 bytes\n"},
        {desArgs("-d", kKey24, "", false), cipher,
         "orlix: des: bad padding after decryption (wrong key, IV or mode, or the data was not "
         "encrypted with PKCS#7 padding)\n"},
        {desArgs("-d", kKey24, kIv8, false), cipher + "x",
         "orlix: des: encrypted input must be a non-zero multiple of 8 bytes; got 9\n"},
        {desArgs("-d", kKey24, kIv8, false), "",
         "orlix: des: encrypted input must be a non-zero multiple of 8 bytes; got 0\n"},
    };
    for (const Case& c : cases) {
        const RunResult result = orlix(c.args, c.input);
        EXPECT_EQ(1, result.status) << c.message;
        EXPECT_EQ(c.message, result.err);
    }
    EXPECT_EQ("secret", orlix(desArgs("-d", kKey24, kIv8, false), cipher).out);
}

} // namespace
