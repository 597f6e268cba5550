// orlix: the library's codec utilities for scripts and the command line.
//
//     orlix md5 file.bin             # "<digest>  file.bin", as md5sum prints it
//     orlix base64 < in > out.txt
//     orlix conv --from gbk --to utf8 < in.txt > out.txt
//     orlix des -e --key 0123456789abcdef --iv 0000000000000000 < in > out
//
// main() picks the subcommand and hands it the remaining arguments; every subcommand lives
// in its own file (digest.cpp, base64.cpp, conv.cpp, des.cpp) and returns its exit code.
#include "common.h"

#include <cerrno>
#include <cstring>

namespace {

using namespace Orlix::Cli;

struct Command
{
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const Command commands[] = {
    {"md5", runDigest, "MD5 digest of files or standard input, as md5sum prints it"},
    {"sha1", runDigest, "SHA-1 digest of files or standard input, as sha1sum prints it"},
    {"crc16", runDigest, "CRC-16/ARC checksum of files or standard input"},
    {"crc32", runDigest, "CRC-32 checksum of files or standard input"},
    {"base64", runBase64, "base64 encoding (one line) or decoding (-d) of standard input"},
    {"conv", runConv, "text conversion between gbk, utf8 and cp1252"},
    {"des", runDes, "DES and triple DES encryption (-e) or decryption (-d), PKCS#7 padded"},
};

const Command* findCommand(const char* name)
{
    for (const Command& command : commands) {
        if (std::strcmp(command.name, name) == 0)
            return &command;
    }
    return nullptr;
}

void printUsage(std::FILE* out)
{
    std::fprintf(out, "Usage: orlix COMMAND [OPTION...] [FILE...]\n\n"
                      "Codec utilities of the Orlix library.\n\nCommands:\n");
    for (const Command& command : commands)
        std::fprintf(out, "  %-8s %s\n", command.name, command.summary);
    std::fprintf(out, "  %-8s %s\n", "help", "this list, or 'help COMMAND' for one command");
    std::fprintf(out, "\n'orlix COMMAND --help' describes a command.\n\n"
                      "Exit status: 0 success, 1 a data or I/O error (unreadable file, malformed\n"
                      "input, bad key), 2 a usage error (unknown command or option, missing\n"
                      "argument).\n");
}

int runMain(int argc, char** argv)
{
    if (argc < 2) {
        printUsage(stderr);
        return exitUsage;
    }
    const char* name = argv[1];
    if (isHelpOption(name) || std::strcmp(name, "help") == 0) {
        if (argc > 2 && std::strcmp(name, "help") == 0) {
            const Command* command = findCommand(argv[2]);
            if (command == nullptr) {
                printError("help: unknown command '%s'", argv[2]);
                printUsage(stderr);
                return exitUsage;
            }
            char help[] = "--help";
            char* helpArgv[] = {argv[2], help, nullptr};
            return command->run(2, helpArgv);
        }
        printUsage(stdout);
        return exitOk;
    }
    if (std::strcmp(name, "--version") == 0) {
        std::printf("orlix %s\n", ORLIX_CLI_VERSION);
        return exitOk;
    }
    const Command* command = findCommand(name);
    if (command == nullptr) {
        printError("unknown command '%s'", name);
        printUsage(stderr);
        return exitUsage;
    }
    return command->run(argc - 1, argv + 1);
}

} // namespace

int main(int argc, char** argv)
{
    int status = runMain(argc, argv);
    // Output is buffered: a full disk or a closed pipe may only show when it is flushed.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        if (status == exitOk)
            printError("write error: %s", std::strerror(errno));
        status = exitFailure;
    }
    return status;
}
