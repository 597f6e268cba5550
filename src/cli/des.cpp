// orlix des -e|-d --key HEX [--iv HEX] [--block16]: DES and triple DES over standard input,
// with PKCS#7 padding.
#include "common.h"

#include "infra/des.h"

#include <cstring>
#include <string>
#include <vector>

namespace Orlix {
namespace Cli {
namespace {

void printHelp()
{
    std::printf(
        "Usage: orlix des -e|-d --key HEX [--iv HEX] [--block16]\n\n"
        "Encrypt (-e) or decrypt (-d) standard input to standard output with DES or\n"
        "triple DES (encrypt-decrypt-encrypt), chosen by the key length:\n"
        "  8 bytes (16 hex digits)    DES\n"
        "  16 bytes (32 hex digits)   two-key triple DES (K3 = K1)\n"
        "  24 bytes (48 hex digits)   three-key triple DES\n"
        "Key parity bits are ignored.\n\n"
        "  -e, --encrypt  encrypt\n"
        "  -d, --decrypt  decrypt\n"
        "  --key HEX      the key, in hexadecimal\n"
        "  --iv HEX       use CBC with this initialisation vector (one block: 8 bytes,\n"
        "                 16 with --block16); without it the mode is ECB\n"
        "  --block16      the library's 16-byte double-block variant of triple DES\n"
        "                 (16- or 24-byte keys only); it is not a standard mode and\n"
        "                 exists for data that already uses it\n\n"
        "Padding: the library itself encrypts only whole blocks. This tool adds PKCS#7\n"
        "padding when encrypting (1 to 8 bytes, 1 to 16 with --block16, each holding the\n"
        "padding length; a full block when the input is already a multiple of the block)\n"
        "and checks and removes it when decrypting, so encrypted output is always\n"
        "1 to 8 (or 16) bytes longer than the input. With 8-byte blocks the result is\n"
        "that of other tools' des-ecb, des-cbc, des-ede(3) and des-ede(3)-cbc ciphers with\n"
        "PKCS#7 padding.\n\n"
        "Input is processed in chunks, so its size does not matter. When decrypting, a\n"
        "wrong length or bad padding shows only at the end of the input, after the\n"
        "output before it was written: rely on the exit status.\n"
        "A key on the command line is visible to other users of the machine.\n\n"
        "Exit status: 0 success, 1 bad hex, a wrong key or IV length, encrypted input\n"
        "that is not whole blocks or has bad padding, or an I/O error; 2 usage error.\n");
}

struct DesOptions
{
    int direction = 0; // 1 encrypt, -1 decrypt
    std::string keyHex;
    std::string ivHex;
    bool hasIv = false;
    bool block16 = false;
};

// Parses the arguments. Returns exitOk, -1 after printing the help, or the exit code after
// printing the problem.
int parseOptions(int argc, char** argv, DesOptions* options)
{
    bool hasKey = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (isHelpOption(arg)) {
            printHelp();
            return -1;
        }
        int direction = 0;
        if (std::strcmp(arg, "-e") == 0 || std::strcmp(arg, "--encrypt") == 0)
            direction = 1;
        else if (std::strcmp(arg, "-d") == 0 || std::strcmp(arg, "--decrypt") == 0)
            direction = -1;
        if (direction != 0) {
            if (options->direction != 0 && options->direction != direction)
                return usageError("des", "-e and -d exclude each other");
            options->direction = direction;
            continue;
        }
        if (std::strcmp(arg, "--block16") == 0) {
            options->block16 = true;
            continue;
        }
        const char* valueOption = "--key";
        OptionMatch match = matchValueOption(argc, argv, &i, "--key", &options->keyHex);
        if (match == OptionMatch::yes)
            hasKey = true;
        if (match == OptionMatch::no) {
            valueOption = "--iv";
            match = matchValueOption(argc, argv, &i, "--iv", &options->ivHex);
            if (match == OptionMatch::yes)
                options->hasIv = true;
        }
        if (match == OptionMatch::missingValue)
            return usageError("des", "option '%s' needs a hexadecimal value", valueOption);
        if (match == OptionMatch::no)
            return usageError("des", "%s '%s'",
                              arg[0] == '-' ? "unknown option" : "unexpected argument", arg);
    }
    if (options->direction == 0)
        return usageError("des", "one of -e (encrypt) or -d (decrypt) is required");
    if (!hasKey)
        return usageError("des", "--key is required");
    return exitOk;
}

// A CBC or ECB stream over many library calls. The library starts every call from the IV it
// was given, so each chunk gets a cipher object whose IV is the last ciphertext block of the
// chunk before: the chunks then chain exactly as one call over the whole would.
class CDesStream
{
public:
    CDesStream(const std::vector<unsigned char>& key, const std::vector<unsigned char>* iv,
               bool block16, bool encrypting)
        : m_key(key), m_hasIv(iv != nullptr), m_block16(block16), m_encrypting(encrypting)
    {
        if (iv != nullptr)
            m_chain = *iv;
    }

    std::size_t blockSize() const { return m_block16 ? 16 : 8; }

    // Transforms size bytes (a multiple of the block size) of src into dst.
    void process(unsigned char* dst, const unsigned char* src, std::size_t size)
    {
        if (size == 0)
            return;
        Utils::CTripleDes des(m_key.data(), static_cast<unsigned int>(m_key.size()),
                              m_block16 ? Utils::CTripleDes::blockType16
                                        : Utils::CTripleDes::blockType8,
                              m_hasIv ? m_chain.data() : nullptr);
        const unsigned char* lastCipher = (m_encrypting ? dst : src) + size - blockSize();
        if (m_encrypting) {
            des.encrypt(dst, src, static_cast<unsigned int>(size));
            if (m_hasIv)
                m_chain.assign(lastCipher, lastCipher + blockSize());
        } else {
            if (m_hasIv) // save it first: decryption may overwrite src when dst == src
                m_chain.assign(lastCipher, lastCipher + blockSize());
            des.decrypt(dst, src, static_cast<unsigned int>(size));
        }
    }

private:
    std::vector<unsigned char> m_key;
    std::vector<unsigned char> m_chain; // the IV of the next call
    bool m_hasIv;
    bool m_block16;
    bool m_encrypting;
};

int encryptStream(CDesStream& stream)
{
    CInput input;
    input.open("-");
    const std::size_t block = stream.blockSize();
    std::vector<unsigned char> buffer(chunkSize + block), out(chunkSize + block);
    for (;;) {
        std::size_t n = input.read(buffer.data(), chunkSize);
        const bool end = n < chunkSize;
        if (end) {
            if (input.failed()) {
                printReadError("standard input", input.error());
                return exitFailure;
            }
            const std::size_t pad = block - n % block; // PKCS#7: 1..block bytes of value pad
            std::memset(buffer.data() + n, static_cast<int>(pad), pad);
            n += pad;
        }
        stream.process(out.data(), buffer.data(), n);
        if (!writeOut(out.data(), n))
            return exitFailure;
        if (end)
            return exitOk;
    }
}

int decryptStream(CDesStream& stream)
{
    CInput input;
    input.open("-");
    const std::size_t block = stream.blockSize();
    // The last block is held back until the input ends, since it carries the padding.
    std::vector<unsigned char> buffer(chunkSize + block), out(chunkSize + block);
    std::size_t have = 0;
    unsigned long long total = 0;
    for (;;) {
        const std::size_t n = input.read(buffer.data() + have, chunkSize);
        total += n;
        have += n;
        if (n < chunkSize)
            break;
        const std::size_t now = have - block; // have is whole blocks here
        stream.process(out.data(), buffer.data(), now);
        if (!writeOut(out.data(), now))
            return exitFailure;
        std::memmove(buffer.data(), buffer.data() + now, block);
        have = block;
    }
    if (input.failed()) {
        printReadError("standard input", input.error());
        return exitFailure;
    }
    if (total == 0 || total % block != 0) {
        printError("des: encrypted input must be a non-zero multiple of %zu bytes; got %llu", block,
                   total);
        return exitFailure;
    }
    stream.process(out.data(), buffer.data(), have);
    const unsigned int pad = out[have - 1];
    bool good = pad >= 1 && pad <= block;
    for (std::size_t i = 1; good && i <= pad; ++i)
        good = out[have - i] == pad;
    if (!good) {
        printError("des: bad padding after decryption (wrong key, IV or mode, or the data was "
                   "not encrypted with PKCS#7 padding)");
        return exitFailure;
    }
    return writeOut(out.data(), have - pad) ? exitOk : exitFailure;
}

// Decodes a hexadecimal option value; prints the problem and returns false when it is bad.
bool hexOption(const char* option, const std::string& text, std::vector<unsigned char>* bytes)
{
    std::string problem;
    if (parseHex(text, bytes, &problem))
        return true;
    printError("des: %s: %s", option, problem.c_str());
    return false;
}

} // namespace

int runDes(int argc, char** argv)
{
    DesOptions options;
    const int parsed = parseOptions(argc, argv, &options);
    if (parsed < 0)
        return exitOk; // --help
    if (parsed != exitOk)
        return parsed;

    std::vector<unsigned char> key, iv;
    if (!hexOption("--key", options.keyHex, &key))
        return exitFailure;
    if (key.size() != 8 && key.size() != 16 && key.size() != 24) {
        printError("des: --key: the key must be 8, 16 or 24 bytes (16, 32 or 48 hex digits); "
                   "got %zu bytes",
                   key.size());
        return exitFailure;
    }
    if (options.block16 && key.size() == 8) {
        printError("des: --block16 needs a triple DES key (16 or 24 bytes); got 8 bytes");
        return exitFailure;
    }
    const std::size_t block = options.block16 ? 16 : 8;
    if (options.hasIv) {
        if (!hexOption("--iv", options.ivHex, &iv))
            return exitFailure;
        if (iv.size() != block) {
            printError("des: --iv: the IV must be one block, %zu bytes (%zu hex digits); got "
                       "%zu bytes",
                       block, block * 2, iv.size());
            return exitFailure;
        }
    }
    CDesStream stream(key, options.hasIv ? &iv : nullptr, options.block16, options.direction > 0);
    return options.direction > 0 ? encryptStream(stream) : decryptStream(stream);
}

} // namespace Cli
} // namespace Orlix
