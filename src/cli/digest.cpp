// orlix md5|sha1|crc16|crc32 [FILE...]: one line per input in the layout of md5sum.
#include "common.h"

#include "infra/crc.h"
#include "infra/md5.h"
#include "infra/sha1.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Orlix {
namespace Cli {
namespace {

// One running checksum; a fresh one is made for every input.
class CSum
{
public:
    virtual ~CSum() = default;
    virtual void update(const unsigned char* data, unsigned int size) = 0;
    virtual std::string hex() = 0;
};

class CMd5Sum : public CSum
{
public:
    void update(const unsigned char* data, unsigned int size) override { m_md5.update(data, size); }
    std::string hex() override
    {
        char text[Utils::CMd5::hexLength];
        m_md5.hex(text); // exactly 32 characters, no terminator
        return std::string(text, sizeof(text));
    }

private:
    Utils::CMd5 m_md5;
};

class CSha1Sum : public CSum
{
public:
    void update(const unsigned char* data, unsigned int size) override
    {
        m_sha1.update(data, size);
    }
    std::string hex() override
    {
        char text[Utils::Sha1HexLength + 1];
        m_sha1.hex(text, sizeof(text));
        return text;
    }

private:
    Utils::CSha1 m_sha1;
};

class CCrc16Sum : public CSum
{
public:
    void update(const unsigned char* data, unsigned int size) override
    {
        m_crc = Utils::crc16(m_crc, data, size);
    }
    std::string hex() override
    {
        char text[8];
        std::snprintf(text, sizeof(text), "%04x", static_cast<unsigned int>(m_crc));
        return text;
    }

private:
    unsigned short m_crc = 0;
};

class CCrc32Sum : public CSum
{
public:
    void update(const unsigned char* data, unsigned int size) override
    {
        m_crc = Utils::crc32(m_crc, data, size); // continuing from 0 starts a new CRC-32
    }
    std::string hex() override
    {
        char text[16];
        std::snprintf(text, sizeof(text), "%08x", m_crc);
        return text;
    }

private:
    unsigned int m_crc = 0;
};

std::unique_ptr<CSum> makeSum(const std::string& command)
{
    if (command == "md5")
        return std::make_unique<CMd5Sum>();
    if (command == "sha1")
        return std::make_unique<CSha1Sum>();
    if (command == "crc16")
        return std::make_unique<CCrc16Sum>();
    return std::make_unique<CCrc32Sum>();
}

void printHelp(const std::string& command)
{
    std::printf("Usage: orlix %s [FILE...]\n\n", command.c_str());
    if (command == "md5")
        std::printf("Print the MD5 digest (RFC 1321) of each FILE.\n");
    else if (command == "sha1")
        std::printf("Print the SHA-1 digest (FIPS 180-1) of each FILE.\n");
    else if (command == "crc16")
        std::printf("Print the CRC-16/ARC checksum (polynomial 0x8005 reflected, start 0, no\n"
                    "final inversion; \"123456789\" gives bb3d) of each FILE.\n");
    else
        std::printf("Print the CRC-32 checksum (IEEE 802.3, as in zip and PNG; \"123456789\"\n"
                    "gives cbf43926) of each FILE.\n");
    const char* value = command == "crc16"   ? "4 hex digits"
                        : command == "crc32" ? "8 hex digits"
                                             : "hex digest";
    std::printf("With no FILE, or when FILE is -, read standard input; -- ends the options.\n\n"
                "Each line reads \"<%s>  <name>\", as md5sum prints it; standard input is\n"
                "named \"-\". A name holding a backslash, newline or carriage return is written\n"
                "with those escaped (\\\\, \\n, \\r) on a line that starts with a backslash.\n\n"
                "Files are read in chunks, so their size does not matter. A file that cannot be\n"
                "read is reported on standard error and skipped; the others are still summed.\n\n"
                "Exit status: 0 all inputs read, 1 some input could not be read or a write\n"
                "error, 2 usage error.\n",
                value);
}

// The name as md5sum writes it: backslash, newline and carriage return escaped, and a flag
// telling that the line must start with a backslash.
std::string escapedName(const std::string& name, bool* escaped)
{
    std::string out;
    *escaped = false;
    for (char c : name) {
        const char* replacement = c == '\\'   ? "\\\\"
                                  : c == '\n' ? "\\n"
                                  : c == '\r' ? "\\r"
                                              : nullptr;
        if (replacement != nullptr) {
            out += replacement;
            *escaped = true;
        } else {
            out += c;
        }
    }
    return out;
}

// Sums one input and prints its line; false when it could not be read.
bool sumOne(const std::string& command, const std::string& name, std::vector<unsigned char>& buffer)
{
    CInput input;
    if (!input.open(name)) {
        printReadError(name, input.error());
        return false;
    }
    std::unique_ptr<CSum> sum = makeSum(command);
    for (;;) {
        const std::size_t n = input.read(buffer.data(), buffer.size());
        sum->update(buffer.data(), static_cast<unsigned int>(n));
        if (n < buffer.size())
            break;
    }
    if (input.failed()) {
        printReadError(name, input.error());
        return false;
    }
    bool escaped = false;
    const std::string shown = escapedName(name, &escaped);
    const std::string line = (escaped ? "\\" : "") + sum->hex() + "  " + shown + "\n";
    return writeOut(line.data(), line.size());
}

} // namespace

int runDigest(int argc, char** argv)
{
    const std::string command = argv[0];
    std::vector<std::string> names;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            names.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (isHelpOption(arg)) {
            printHelp(command);
            return exitOk;
        } else {
            return usageError(command.c_str(), "unknown option '%s'", arg);
        }
    }
    if (names.empty())
        names.push_back("-");

    std::vector<unsigned char> buffer(chunkSize);
    int status = exitOk;
    for (const std::string& name : names) {
        if (!sumOne(command, name, buffer))
            status = exitFailure;
    }
    return status;
}

} // namespace Cli
} // namespace Orlix
