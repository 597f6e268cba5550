// Chapter: the log filter and the log file. An operator's "logfilter" commands switch modules
// and prefix parts on and off; logFilter() prints with a module, a source location and a
// version; every printed line also goes to a size-limited log file. A version record prints
// which version of a module runs.
//
// Give your own commands on the tour's command line, each starting with its option word:
//     tour -loglevel 4 -logmodule net on -logtime off
// Without any, the chapter runs a built-in sequence.
#include "tour.h"

#include <infra/orlix.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Orlix::Infra::CVersion;
using Orlix::Infra::logCleanup;
using Orlix::Infra::logFilter;
using Orlix::Infra::PrintOptions;
using Orlix::Infra::setLogFilter;
using Orlix::Infra::setPrintLogLevel;
using Orlix::Infra::setPrintOptions;

using Command = std::vector<std::string>;

// Runs one command and shows it the way an operator would have typed it.
void run(Command words)
{
    std::printf("> logfilter");
    for (const auto& word : words)
        std::printf(" %s", word.c_str());
    std::printf("\n");
    std::fflush(stdout);
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    setLogFilter(static_cast<int>(argv.size()), argv.data());
}

// Splits the tour's arguments into commands: a new command starts at every word that begins
// with "-log" or is "-h" (so "-logsize -5" stays one command); a word "logfilter" is skipped.
std::vector<Command> commandsFrom(int argc, char** argv)
{
    std::vector<Command> commands;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "logfilter")
            continue;
        if (word.rfind("-log", 0) == 0 || word == "-h" || commands.empty())
            commands.emplace_back();
        commands.back().push_back(word);
    }
    return commands;
}

const std::vector<Command> kBuiltIn = {
    {"-loglevel", "5"},           // let info and trace lines through
    {"-logmodule", "net", "off"}, // silence one module: the others keep printing
    {"-logthread", "off"},        // shorter lines
};

void modules()
{
    logFilter(4, "disk", "src\\disk\\writer.cpp", "flush", 88, "2.1", "flushed %d blocks\n", 12);
    logFilter(4, "net", "src\\net\\socket.cpp", "send", 41, "1.7", "sent %d bytes\n", 512);
    logFilter(5, "Net", nullptr, "poll", 0, "1.7", "module names are case-sensitive\n");
    logFilter(2, nullptr, nullptr, nullptr, 0, nullptr, "a null module is never filtered\n");
    logWarn("the level functions are never filtered by module\n");
}

std::string makeTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orlix-tour-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

void logFile(const std::string& path)
{
    // The file was limited to 1 KiB at the start of the chapter (unless a command of yours
    // changed that): once it holds that much it is started afresh, and the line that found it
    // full is the first line of the new file.
    for (int i = 1; i <= 20; ++i)
        logFilter(3, "disk", nullptr, "fill", 0, nullptr,
                  "line %02d of 20, padded to fill the file a little faster\n", i);
    std::ifstream file(path);
    std::string first;
    std::getline(file, first);
    std::error_code error;
    std::printf("%s holds %llu bytes now; its first line:\n  %s\n", path.c_str(),
                static_cast<unsigned long long>(std::filesystem::file_size(path, error)),
                first.c_str());
}

} // namespace

void tourLogging(int argc, char** argv)
{
    tourHeading("The log filter and the log file");
    const std::string dir = makeTempDir();
    const std::string path = dir + "/tour.log";
    if (!dir.empty()) {
        run({"-logpath", path});
        run({"-logsize", "1"});
    }

    std::vector<Command> commands = commandsFrom(argc, argv);
    if (commands.empty())
        commands = kBuiltIn;
    for (const auto& command : commands)
        run(command);

    modules();
    // A module says which version it is, at info level (shown from print level 4 on).
    CVersion("tour", 1, 4, 2, "$Revision: 2817 $", __DATE__).print();
    if (!dir.empty())
        logFile(path);

    // Put back what the chapter changed, so the chapters after it print as before.
    run({"-logpath", ""});
    logCleanup();
    run({"-logmodule", "on"});
    setPrintLogLevel(3);
    setPrintOptions(PrintOptions());
    if (!dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        std::printf("removed %s\n", dir.c_str());
    }
}
