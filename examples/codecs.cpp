// Codecs: MD5 and SHA-1 digests, CRC-16 and CRC-32, base64, triple DES, character sets
// (code page 936 and 1252, UTF-8), bounded strings and IPv4 text.
//
// Build: g++ -std=c++17 codecs.cpp $(pkg-config --cflags --libs orlix)
#include <infra/base64.h>
#include <infra/charset.h>
#include <infra/crc.h>
#include <infra/des.h>
#include <infra/md5.h>
#include <infra/sha1.h>
#include <infra/strutil.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace Orlix::Utils;

int main()
{
    bool ok = true;
    const auto* abc = reinterpret_cast<const unsigned char*>("abc");

    // Digests: feed the message in as many pieces as you like, then take the result.
    CMd5 md5;
    md5.update(abc, 1);
    md5.update(abc + 1, 2);
    char md5Hex[CMd5::hexLength + 1];
    md5.hex(md5Hex);
    md5Hex[CMd5::hexLength] = '\0'; // hex() writes exactly 32 characters, no terminator
    CSha1 sha1;
    sha1.update(abc, 3);
    char sha1Hex[Sha1HexLength + 1];
    sha1.hex(sha1Hex, sizeof(sha1Hex)); // terminated, since the buffer has room
    std::printf("MD5(\"abc\")   %s\nSHA-1(\"abc\") %s\n", md5Hex, sha1Hex);
    ok = ok && std::strcmp(md5Hex, "900150983cd24fb0d6963f7d28e17f72") == 0 &&
         std::strcmp(sha1Hex, "a9993e364706816aba3e25717850c26c9cd0d89d") == 0;

    // Checksums; a CRC-32 can be continued over pieces.
    const auto* digits = reinterpret_cast<const unsigned char*>("123456789");
    const unsigned int crc = crc32(crc32(digits, 4), digits + 4, 5);
    std::printf("CRC-32 %08x, CRC-16/ARC %04x\n", crc, crc16(0, digits, 9));
    ok = ok && crc == 0xCBF43926u && crc16(0, digits, 9) == 0xBB3D;

    // Base64: the Len functions give the bytes to reserve, terminator included.
    const std::string message = "Orlix says hello";
    std::vector<char> text(static_cast<size_t>(base64EncodeLen(int(message.size()))));
    base64Encode(text.data(), message.data(), int(message.size()));
    std::vector<char> decoded(static_cast<size_t>(base64DecodeLen(text.data())));
    const int n = base64Decode(decoded.data(), text.data());
    ok = ok && std::string(text.data()) == "T3JsaXggc2F5cyBoZWxsbw==" &&
         std::string(decoded.data(), static_cast<size_t>(n)) == message;

    // Triple DES with a 24-byte key, in CBC mode (an IV given); whole 8-byte blocks only.
    const unsigned char key[24] = "twenty-four byte key...";
    const unsigned char iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CTripleDes des(key, sizeof(key), CTripleDes::blockType8, iv);
    unsigned char plain[16] = "attack at dawn!";
    unsigned char cipher[16];
    unsigned char back[16];
    ok = ok && des.encrypt(cipher, plain, sizeof(plain)) &&
         des.decrypt(back, cipher, sizeof(back)) && std::memcmp(plain, back, sizeof(plain)) == 0;

    // Character sets: "你好" in code page 936 (GBK) to UTF-8 and back; code page 1252 to UTF-8.
    unsigned char utf8[32];
    const int utf8Len = Gb2312TUtf8("\xC4\xE3\xBA\xC3", utf8, sizeof(utf8) - 1);
    char gbk[16];
    utf8TGb2312(utf8, gbk, utf8Len, sizeof(gbk));
    const unsigned char latin[] = {'c', 'a', 'f', 0xE9, ' ', 0x80};
    unsigned char latinUtf8[16] = {};
    cp1252_to_utf8(latinUtf8, sizeof(latinUtf8) - 1, latin, sizeof(latin));
    std::printf("GBK -> UTF-8: %s; cp1252 -> UTF-8: %s\n", reinterpret_cast<char*>(utf8),
                reinterpret_cast<char*>(latinUtf8));
    ok = ok && std::strcmp(reinterpret_cast<char*>(utf8), "\xE4\xBD\xA0\xE5\xA5\xBD") == 0 &&
         std::strcmp(gbk, "\xC4\xE3\xBA\xC3") == 0 &&
         std::strcmp(reinterpret_cast<char*>(latinUtf8), "caf\xC3\xA9 \xE2\x82\xAC") == 0;

    // Bounded strings never write past the size given and always terminate.
    char small[8];
    snprintf_x(small, sizeof(small), "%s", "too long for eight bytes");
    ok = ok && std::strcmp(small, "too lon") == 0;

    // IPv4 text: the first octet is the most significant byte, on every host.
    const IpAddress ip = stringToIp("192.168.1.20");
    char ipText[16];
    ipToString(ip, ipText, sizeof(ipText));
    ok = ok && ip.value == 0xC0A80114u && std::strcmp(ipText, "192.168.1.20") == 0;

    std::printf("codecs: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
