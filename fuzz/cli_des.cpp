// The orlix tool's des command: PKCS#7 padding and chunked CBC against one call of the
// library's cipher over the whole input. Input: a mode byte (key length 8, 16 or 24, CBC or
// ECB, 8- or 16-byte blocks, a long plaintext), 24 key bytes, 16 IV bytes, then the data.
//
// - Decrypting arbitrary data must succeed exactly when the data are a non-zero number of
//   whole blocks and the last decrypted block ends in 1..block bytes that each hold their
//   count; the output is then the decryption less those bytes; otherwise status 1 and the
//   documented message.
// - Encrypting must give the library's encryption of the data with the padding added, and
//   decrypting that must give the data back. Long plaintexts cross the 48 KiB reading steps,
//   so the IV carried from chunk to chunk is checked against the single call.
// - --block16 with an 8-byte key is refused as a wrong key length (status 1).
#include "cli_run.h"
#include "fuzz_check.h"

#include "common.h"

#include "infra/des.h"

#include <cstdio>
#include <string>
#include <vector>

using Orlix::Utils::CTripleDes;
using OrlixFuzz::check;

namespace {

std::string hexOf(const std::string& bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (const char c : bytes) {
        s += kHex[static_cast<unsigned char>(c) >> 4];
        s += kHex[static_cast<unsigned char>(c) & 15];
    }
    return s;
}

std::string whole(const std::string& key, const std::string* iv, bool block16, bool encrypt,
                  const std::string& in)
{
    CTripleDes des(reinterpret_cast<const unsigned char*>(key.data()),
                   static_cast<unsigned int>(key.size()),
                   block16 ? CTripleDes::blockType16 : CTripleDes::blockType8,
                   iv != nullptr ? reinterpret_cast<const unsigned char*>(iv->data()) : nullptr);
    std::string out(in.size(), '\0');
    std::vector<unsigned char> src(in.begin(), in.end());
    std::vector<unsigned char> dst(in.size() + 1);
    const bool ok = encrypt
                        ? des.encrypt(dst.data(), src.data(), static_cast<unsigned int>(in.size()))
                        : des.decrypt(dst.data(), src.data(), static_cast<unsigned int>(in.size()));
    check(ok, "library refused whole blocks");
    return std::string(dst.begin(), dst.begin() + static_cast<long>(in.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrlixFuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    const size_t keyLen = 8 * (1 + mode % 3);
    const bool cbc = (mode & 4) != 0;
    const bool block16 = (mode & 8) != 0;
    const std::string key = in.bytes(24).substr(0, keyLen);
    std::string iv = in.bytes(16);
    std::string payload = in.rest();
    if (key.size() < keyLen || iv.size() < 16)
        return 0;
    const size_t block = block16 ? 16 : 8;
    iv.resize(block);
    // About one input in 64: a long run costs several hundred short ones.
    if ((mode & 0xF0) == 0xF0 && payload.size() % 4 == 1)
        payload = std::string(Orlix::Cli::chunkSize - 3 - payload.size() % 13, 'p') + payload;

    std::vector<std::string> args = {"des", "-d", "--key", hexOf(key)};
    if (cbc) {
        args.push_back("--iv");
        args.push_back(hexOf(iv));
    }
    if (block16)
        args.push_back("--block16");
    const std::string* ivp = cbc ? &iv : nullptr;

    const OrlixFuzz::CliResult dec = OrlixFuzz::runCli(&Orlix::Cli::runDes, args, payload);
    if (block16 && keyLen == 8) {
        OrlixFuzz::checkEqual(
            "1orlix: des: --block16 needs a triple DES key (16 or 24 bytes); got 8 bytes\n",
            std::to_string(dec.status) + dec.err, "--block16 with a single DES key accepted");
        return 0;
    }
    if (payload.empty() || payload.size() % block != 0) {
        char line[160];
        std::snprintf(
            line, sizeof(line),
            "orlix: des: encrypted input must be a non-zero multiple of %zu bytes; got %zu\n",
            block, payload.size());
        OrlixFuzz::checkEqual("1" + std::string(line), std::to_string(dec.status) + dec.err,
                              "partial block accepted");
        // Long input: the whole chunks before the end were decrypted and written already.
        const size_t wholeBlocks = payload.size() / block * block;
        const std::string before = whole(key, ivp, block16, false, payload.substr(0, wholeBlocks));
        check(before.compare(0, dec.out.size(), dec.out) == 0, "output before the error differs");
    } else {
        const std::string plain = whole(key, ivp, block16, false, payload);
        const unsigned pad = static_cast<unsigned char>(plain.back());
        bool good = pad >= 1 && pad <= block;
        for (size_t i = 1; good && i <= pad; ++i)
            good = static_cast<unsigned char>(plain[plain.size() - i]) == pad;
        if (good) {
            check(dec.status == 0 && dec.err.empty(), "good padding refused");
            check(dec.out == plain.substr(0, plain.size() - pad), "decrypted output differs");
        } else {
            check(dec.status == 1, "bad padding accepted");
            check(dec.err == "orlix: des: bad padding after decryption (wrong key, IV or mode, or "
                             "the data was not encrypted with PKCS#7 padding)\n",
                  "bad padding message");
            check(plain.compare(0, dec.out.size(), dec.out) == 0,
                  "output before the error differs");
        }
    }

    args[1] = "-e";
    const OrlixFuzz::CliResult enc = OrlixFuzz::runCli(&Orlix::Cli::runDes, args, payload);
    check(enc.status == 0 && enc.err.empty(), "encryption failed");
    const size_t pad = block - payload.size() % block;
    check(enc.out ==
              whole(key, ivp, block16, true, payload + std::string(pad, static_cast<char>(pad))),
          "encrypted output differs");
    args[1] = "-d";
    const OrlixFuzz::CliResult back = OrlixFuzz::runCli(&Orlix::Cli::runDes, args, enc.out);
    check(back.status == 0 && back.out == payload, "des round trip");
    return 0;
}
