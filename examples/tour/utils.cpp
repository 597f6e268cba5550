// Chapter: utilities. A file's MD5 and SHA-1, a CRC-32, a base64 round trip, triple DES in
// CBC mode, and a sentence in the Chinese double-byte code page shown as UTF-8.
#include "tour.h"

#include <infra/orlix.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace Orlix::Utils;

void digests()
{
    tourHeading("Digests of a file");
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir =
        fs::temp_directory_path(ec) / ("orlix-tour-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir, ec);
    const fs::path file = dir / "hello.txt";
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 1000; ++i)
            out << "line " << i << ": the quick brown fox jumps over the lazy dog\n";
    }

    // Feed the file in pieces, as one would a file too large to hold in memory.
    CMd5 md5;
    CSha1 sha1;
    std::ifstream in(file, std::ios::binary);
    unsigned char chunk[4096];
    std::size_t total = 0;
    while (in.read(reinterpret_cast<char*>(chunk), sizeof(chunk)) || in.gcount() > 0) {
        const auto n = static_cast<unsigned int>(in.gcount());
        md5.update(chunk, n);
        sha1.update(chunk, n);
        total += n;
    }
    char md5Hex[33];
    md5.hex(md5Hex);
    md5Hex[32] = '\0'; // hex() writes exactly 32 characters
    char sha1Hex[Sha1HexLength + 1];
    sha1.hex(sha1Hex, sizeof(sha1Hex));
    std::printf("%s: %zu bytes\n  MD5   %s\n  SHA-1 %s\n", file.filename().c_str(), total, md5Hex,
                sha1Hex);
    in.close();
    fs::remove_all(dir, ec);
}

void checksums()
{
    tourHeading("Checksums and base64");
    const char* check = "123456789";
    const auto* bytes = reinterpret_cast<const unsigned char*>(check);
    std::printf("CRC-32 of \"%s\": %08x, CRC-16/ARC: %04x\n", check, crc32(bytes, 9),
                crc16(0, bytes, 9));
    // A CRC-32 can be continued over pieces.
    std::printf("CRC-32 of \"12345\" then \"6789\": %08x\n", crc32(crc32(bytes, 5), bytes + 5, 4));

    const std::string message = "Orlix says hello";
    std::vector<char> text(static_cast<std::size_t>(base64EncodeLen(int(message.size()))));
    base64Encode(text.data(), message.data(), int(message.size()));
    std::vector<char> back(static_cast<std::size_t>(base64DecodeLen(text.data())));
    const int n = base64Decode(back.data(), text.data());
    std::printf("base64 \"%s\" -> %s -> \"%.*s\"\n", message.c_str(), text.data(), n, back.data());
}

void tripleDes()
{
    tourHeading("Triple DES in CBC mode");
    const unsigned char key[24] = {'t', 'h', 'r', 'e', 'e', ' ', 'k', 'e', 'y', 's', ' ', 'o',
                                   'f', ' ', 'e', 'i', 'g', 'h', 't', ' ', 'b', 'y', 't', 'e'};
    const unsigned char iv[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xAB, 0xCD, 0xEF};
    CTripleDes des(key, sizeof(key), CTripleDes::blockType8, iv);

    unsigned char plain[32] = "attack at dawn, bring coffee"; // padded with zeros to 32
    unsigned char cipher[32];
    unsigned char decrypted[32];
    des.encrypt(cipher, plain, sizeof(plain));
    des.decrypt(decrypted, cipher, sizeof(cipher));
    std::printf("plain:     %s\ncipher:    ", reinterpret_cast<char*>(plain));
    for (unsigned char c : cipher)
        std::printf("%02x", c);
    std::printf("\ndecrypted: %s\n", reinterpret_cast<char*>(decrypted));
    std::printf("identical: %s\n",
                std::memcmp(plain, decrypted, sizeof(plain)) == 0 ? "yes" : "no");
}

void characterSets()
{
    tourHeading("Character sets");
    // "Hello, world! Chinese text." in the double-byte code page.
    const char* gbk = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7\xA3\xA1 "
                      "\xD6\xD0\xCE\xC4\xCE\xC4\xB1\xBE\xA1\xA3";
    unsigned char utf8[128];
    const int n = Gb2312TUtf8(gbk, utf8, sizeof(utf8) - 1);
    std::printf("%zu code page 936 bytes -> %d UTF-8 bytes: %s\n", std::strlen(gbk), n,
                reinterpret_cast<char*>(utf8));

    char again[64];
    const int chars = utf8TGb2312(utf8, again, n, sizeof(again));
    std::printf("and back: %d characters, %s\n", chars,
                std::strcmp(again, gbk) == 0 ? "the same bytes" : "different bytes");

    const unsigned char latin[] = "caf\xE9 \x80"
                                  "5"; // code page 1252: "café €5"
    unsigned char out[32] = {};
    cp1252_to_utf8(out, sizeof(out) - 1, latin, int(sizeof(latin) - 1));
    std::printf("code page 1252 -> UTF-8: %s\n", reinterpret_cast<char*>(out));
}

void addresses()
{
    tourHeading("IPv4 text and bounded strings");
    const IpAddress ip = stringToIp("192.168.1.20");
    char text[16];
    std::printf("192.168.1.20 is 0x%08x, printed back as %s\n", ip.value,
                ipToString(ip, text, sizeof(text)));
    char small[8];
    const int len = snprintf_x(small, sizeof(small), "%s", "a text too long for the buffer");
    std::printf("snprintf_x into 8 bytes: \"%s\" (%d characters)\n", small, len);
}

} // namespace

void tourUtils()
{
    digests();
    checksums();
    tripleDes();
    characterSets();
    addresses();
}
