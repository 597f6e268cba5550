#include "common.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace Orlix {
namespace Cli {

void printError(const char* format, ...)
{
    std::fputs("orlix: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

int usageError(const char* command, const char* format, ...)
{
    std::fprintf(stderr, "orlix: %s: ", command);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\nTry 'orlix %s --help' for more information.\n", command);
    return exitUsage;
}

CInput::~CInput()
{
    if (m_owned)
        std::fclose(m_file);
}

bool CInput::open(const std::string& name)
{
    if (name == "-") {
        m_file = stdin;
        return true;
    }
    m_file = std::fopen(name.c_str(), "rb");
    if (m_file == nullptr) {
        m_error = errno;
        return false;
    }
    m_owned = true;
    return true;
}

std::size_t CInput::read(void* buffer, std::size_t size)
{
    // fread() already loops over short reads from pipes and terminals; it returns less than
    // asked only at the end of the input or on an error.
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, size, m_file);
    if (n < size && std::ferror(m_file) != 0 && m_error == 0)
        m_error = errno != 0 ? errno : EIO;
    return n;
}

bool writeOut(const void* data, std::size_t size)
{
    static bool reported = false;
    if (size == 0 || std::fwrite(data, 1, size, stdout) == size)
        return true;
    if (!reported) {
        reported = true;
        printError("write error: %s", std::strerror(errno));
    }
    return false;
}

void printReadError(const std::string& name, int error)
{
    printError("%s: %s", name.c_str(), std::strerror(error));
}

OptionMatch matchValueOption(int argc, char** argv, int* index, const char* name,
                             std::string* value)
{
    const char* arg = argv[*index];
    const std::size_t nameLength = std::strlen(name);
    if (std::strncmp(arg, name, nameLength) != 0)
        return OptionMatch::no;
    if (arg[nameLength] == '=') {
        *value = arg + nameLength + 1;
        return OptionMatch::yes;
    }
    if (arg[nameLength] != '\0')
        return OptionMatch::no;
    if (*index + 1 >= argc)
        return OptionMatch::missingValue;
    *index += 1;
    *value = argv[*index];
    return OptionMatch::yes;
}

bool isHelpOption(const char* arg)
{
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool parseHex(const std::string& text, std::vector<unsigned char>* bytes, std::string* problem)
{
    bytes->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (hexDigit(text[i]) < 0) {
            *problem = "'" + text.substr(i, 1) + "' at position " + std::to_string(i + 1) +
                       " is not a hexadecimal digit";
            return false;
        }
    }
    if (text.size() % 2 != 0) {
        *problem = "odd number of hexadecimal digits (" + std::to_string(text.size()) + ")";
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes->push_back(
            static_cast<unsigned char>(hexDigit(text[i]) << 4 | hexDigit(text[i + 1])));
    return true;
}

} // namespace Cli
} // namespace Orlix
