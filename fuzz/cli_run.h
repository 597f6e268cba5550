// Runs one subcommand of the orlix tool in-process, as the shell would run it: standard input
// from a given byte string, standard output and standard error captured. The three streams
// are in-memory files (memfd) put in place of descriptors 0, 1 and 2 for the call and the
// original descriptors restored after it.
//
// Standard error is captured too, since the tool's messages are part of what the targets
// check; set ORLIX_FUZZ_SHOW_STDERR=1 when reproducing a crash to see the sanitizer's report.
#ifndef ORLIX_FUZZ_CLI_RUN_H
#define ORLIX_FUZZ_CLI_RUN_H

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace OrlixFuzz {

struct CliResult
{
    int status;
    std::string out;
    std::string err;
};

namespace CliDetail {

inline int memoryFile(const char* name)
{
    const int fd = memfd_create(name, 0);
    if (fd < 0)
        std::abort();
    return fd;
}

inline void rewind(int fd, const std::string& contents)
{
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    if (lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
}

inline std::string contents(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        std::abort();
    std::string s(static_cast<size_t>(st.st_size), '\0');
    if (!s.empty() && pread(fd, &s[0], s.size(), 0) != static_cast<ssize_t>(s.size()))
        std::abort();
    return s;
}

} // namespace CliDetail

inline CliResult runCli(int (*command)(int, char**), std::vector<std::string> args,
                        const std::string& input)
{
    static const int inFd = CliDetail::memoryFile("orlix-fuzz-in");
    static const int outFd = CliDetail::memoryFile("orlix-fuzz-out");
    static const int errFd = CliDetail::memoryFile("orlix-fuzz-err");
    static const int savedIn = dup(0), savedOut = dup(1), savedErr = dup(2);
    static const bool showErr = std::getenv("ORLIX_FUZZ_SHOW_STDERR") != nullptr;

    CliDetail::rewind(inFd, input);
    CliDetail::rewind(outFd, std::string());
    CliDetail::rewind(errFd, std::string());
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(inFd, 0);
    dup2(outFd, 1);
    if (!showErr)
        dup2(errFd, 2);
    // The streams forget what they buffered or saw before: the descriptors are new files.
    std::clearerr(stdin);
    std::fseek(stdin, 0, SEEK_SET);
    std::clearerr(stdout);

    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    CliResult result;
    result.status = command(static_cast<int>(args.size()), argv.data());

    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedIn, 0);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    std::clearerr(stdin);
    result.out = CliDetail::contents(outFd);
    result.err = CliDetail::contents(errFd);
    return result;
}

} // namespace OrlixFuzz

#endif // ORLIX_FUZZ_CLI_RUN_H
