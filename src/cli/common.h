// Pieces shared by the subcommands of the orlix tool: exit codes, messages, chunked input,
// checked output, option matching and hex parsing.
//
// Every subcommand streams: it reads its input in fixed-size chunks and writes as it goes, so
// inputs of any size run in constant memory. Messages go to standard error as
// "orlix: <text>"; results go to standard output. A subcommand returns its exit code instead
// of calling exit(), so that every object is destroyed normally.
#ifndef ORLIX_CLI_COMMON_H
#define ORLIX_CLI_COMMON_H

#include "infra/print.h" // ORLIX_PRINTF_FORMAT

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace Orlix {
namespace Cli {

// The tool's exit codes.
enum ExitCode
{
    exitOk = 0,      // success
    exitFailure = 1, // a data or I/O error: unreadable file, malformed input, bad key
    exitUsage = 2    // a usage error: unknown subcommand or option, missing argument
};

// Bytes read or written per step. A multiple of 3, 4 and 16, so that base64 groups and
// cipher blocks never straddle two chunks.
constexpr std::size_t chunkSize = 48 * 1024;

// Prints "orlix: <message>\n" to standard error.
void printError(const char* format, ...) ORLIX_PRINTF_FORMAT(1, 2);

// Prints "orlix: <command>: <message>" and a pointer to the command's --help to standard
// error, and returns exitUsage.
int usageError(const char* command, const char* format, ...) ORLIX_PRINTF_FORMAT(2, 3);

// A file or standard input, read in chunks.
class CInput
{
public:
    CInput() = default;
    ~CInput();
    CInput(const CInput&) = delete;
    CInput& operator=(const CInput&) = delete;

    // Opens name for reading; "-" is standard input. On failure returns false and leaves the
    // reason in error().
    bool open(const std::string& name);

    // Reads until size bytes arrived or the input ended; returns the count. A count below
    // size means the end of the input or a read error (see failed()).
    std::size_t read(void* buffer, std::size_t size);

    // True once a read failed; error() then holds its errno value.
    bool failed() const { return m_error != 0; }
    int error() const { return m_error; }

private:
    std::FILE* m_file = nullptr;
    bool m_owned = false;
    int m_error = 0;
};

// Writes size bytes to standard output. On failure prints "orlix: write error: <reason>"
// once and returns false.
bool writeOut(const void* data, std::size_t size);

// Prints "orlix: <name>: <reason>" for a read failure with the errno value error.
void printReadError(const std::string& name, int error);

// Matches the option at argv[*index] against name ("--key"). Accepts "--key VALUE" (which
// advances *index past the value) and "--key=VALUE".
enum class OptionMatch
{
    no,          // a different argument
    yes,         // matched; *value holds the value
    missingValue // matched, but no value follows
};
OptionMatch matchValueOption(int argc, char** argv, int* index, const char* name,
                             std::string* value);

// True for "--help" and "-h".
bool isHelpOption(const char* arg);

// Decodes hexadecimal text (either case, no prefix or separators) into bytes. On failure
// returns false and describes the problem in *problem.
bool parseHex(const std::string& text, std::vector<unsigned char>* bytes, std::string* problem);

// The subcommands. Each receives its own name as argv[0] and returns an ExitCode.
int runDigest(int argc, char** argv);
int runBase64(int argc, char** argv);
int runConv(int argc, char** argv);
int runDes(int argc, char** argv);

} // namespace Cli
} // namespace Orlix

#endif // ORLIX_CLI_COMMON_H
