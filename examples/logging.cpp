// Logging: the logfilter command an operator types, printing per module, the size-limited
// log file, and version records.
//
// Build: g++ -std=c++17 logging.cpp $(pkg-config --cflags --libs orlix)
#include <infra/logfilter.h>
#include <infra/print.h>
#include <infra/thread.h>
#include <infra/version.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace Orlix::Infra;

namespace {

// Runs one logfilter command given as its words, option word first, e.g. the rest of a
// line an operator typed at the program's console.
void logfilter(std::vector<std::string> words)
{
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    setLogFilter(static_cast<int>(argv.size()), argv.data());
}

void discard(const char* /*text*/) {}

} // namespace

int main()
{
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("orlix-example-log-" + std::to_string(getCurrectProcessID()));
    fs::create_directories(dir);
    const std::string logPath = (dir / "app.log").string();

    logfilter({"-loglevel", "4"});           // info and worse
    logfilter({"-logpath", logPath});        // every printed text goes to this file too
    logfilter({"-logsize", "1"});            // ...which starts afresh once it holds 1 KiB
    logfilter({"-logmodule", "net", "off"}); // silence one module

    // logFilter prints with a module, a function, a source line and a version; it is subject
    // to the module switches. (Pass __FILE__ and __LINE__ to show where a line came from.)
    const int shown = logFilter(4, "disk", nullptr, "flush", 0, "2.1", "flushed %d blocks\n", 12);
    const int hidden = logFilter(2, "net", nullptr, "send", 0, "1.7", "send failed\n");
    std::printf("disk printed %d characters, net %d (switched off)\n", shown, hidden);

    // A module says which version of it runs: "[*] app 1.4.2.2817 Built in yyyy/mm/dd [*]".
    CVersion("app", 1, 4, 2, "$Revision: 2817 $", __DATE__).print();

    // Fill the log past its limit: it starts afresh, so it never holds much more than 1 KiB.
    // A printer takes the console's place meanwhile (here: one that drops the text), so
    // only the file gets these lines; an empty delegate gives the console back.
    setLogPrinter(TFunction1<void, const char*>(&discard));
    for (int i = 1; i <= 30; ++i)
        logFilter(4, "disk", nullptr, "fill", 0, nullptr, "record %02d of 30, padded a little\n",
                  i);
    setLogPrinter(TFunction1<void, const char*>());
    logfilter({"-logpath", ""}); // stop writing to a file...
    logCleanup();                // ...and close it
    const auto size = fs::file_size(logPath);
    std::printf("%s holds %llu bytes after 30 records\n", logPath.c_str(),
                static_cast<unsigned long long>(size));

    logfilter({"-logmodule", "on"}); // every module prints again
    std::error_code ignored;
    fs::remove_all(dir, ignored);

    const bool ok = shown > 0 && hidden == 0 && size > 0 && size < 1024 + 256;
    std::printf("logging: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
