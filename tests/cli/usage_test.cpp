// The tool's help, and its usage errors (exit 2, message and usage on standard error).
#include "clitest.h"

#include <gtest/gtest.h>

namespace {

using namespace OrlixTest;

bool contains(const std::string& text, const std::string& needle)
{
    return text.find(needle) != std::string::npos;
}

TEST(CliUsage, HelpListsEveryCommandAndEachCommandHasItsOwn)
{
    const char* const kCommands[] = {"md5", "sha1", "crc16", "crc32", "base64", "conv", "des"};
    for (const char* spelling : {"--help", "help", "-h"}) {
        const RunResult result = orlix({spelling});
        EXPECT_EQ(0, result.status) << spelling;
        EXPECT_EQ("", result.err);
        for (const char* command : kCommands)
            EXPECT_TRUE(contains(result.out, std::string("\n  ") + command + " ")) << command;
        EXPECT_TRUE(contains(result.out, "Exit status: 0 success, 1 a data or I/O error"));
    }
    for (const char* command : kCommands) {
        const RunResult result = orlix({command, "--help"});
        EXPECT_EQ(0, result.status) << command;
        EXPECT_TRUE(contains(result.out, std::string("Usage: orlix ") + command)) << command;
        EXPECT_TRUE(contains(result.out, "Exit status: 0 ")) << command;
        EXPECT_TRUE(contains(result.out, "2 usage error")) << command;
        EXPECT_EQ(result.out, orlix({"help", command}).out) << command;
    }
    EXPECT_TRUE(contains(orlix({"--version"}).out, "orlix 1."));
}

TEST(CliUsage, MistakesExitWithTwoAndExplainOnStandardError)
{
    struct Case
    {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "Usage: orlix COMMAND"},
        {{"sha256"}, "orlix: unknown command 'sha256'\nUsage: orlix COMMAND"},
        {{"help", "sha256"}, "orlix: help: unknown command 'sha256'"},
        {{"md5", "--binary"}, "orlix: md5: unknown option '--binary'\nTry 'orlix md5 --help'"},
        {{"base64", "-w0"}, "orlix: base64: unknown option '-w0'"},
        {{"base64", "file"}, "orlix: base64: unexpected argument 'file'"},
        {{"conv", "--from", "utf8"}, "orlix: conv: both --from and --to are required"},
        {{"conv", "--from", "utf8", "--to"}, "orlix: conv: option '--to' needs a character set"},
        {{"conv", "--from", "latin1", "--to", "utf8"},
         "orlix: conv: unknown character set 'latin1' (gbk, utf8 or cp1252)"},
        {{"conv", "--from", "utf8", "--to", "gbk", "-x"}, "orlix: conv: unknown option '-x'"},
        {{"des", "--key", "0011223344556677"}, "orlix: des: one of -e (encrypt) or -d"},
        {{"des", "-e", "-d", "--key", "0011223344556677"}, "orlix: des: -e and -d exclude"},
        {{"des", "-e"}, "orlix: des: --key is required"},
        {{"des", "-e", "--key"}, "orlix: des: option '--key' needs a hexadecimal value"},
        {{"des", "-e", "--key", "0011223344556677", "--ecb"}, "orlix: des: unknown option '--ecb'"},
    };
    for (const Case& c : cases) {
        const RunResult result = orlix(c.args);
        EXPECT_EQ(2, result.status) << c.message;
        EXPECT_EQ("", result.out) << c.message;
        EXPECT_TRUE(contains(result.err, c.message)) << result.err;
    }
}

} // namespace
