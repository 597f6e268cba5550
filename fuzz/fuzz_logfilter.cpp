// Fuzzes the log filter command with operator-typed word vectors.
//
// Each input line is one command, split into words at blanks; after each command a few
// prints go through logFilter() and a level function with the words as module and text (never
// as a format). A model of the print level and the module switches (mode, table, whether the
// table was used) follows the commands, and every logFilter() call must print exactly when
// the model says it does. Log paths are confined to a fresh temporary directory: a -logpath
// value is reduced to a plain file name inside it, so the fuzzer never writes anywhere else.
// The directory is removed at exit.
#include "infra/logfilter.h"
#include "infra/print.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

std::string g_dir;

// What the commands so far have set.
struct FilterModel
{
    int printLevel = 4;                // set in LLVMFuzzerInitialize
    int mode = 2;                      // 0 all off, 1 the table decides, 2 all on
    bool tableUsed = false;            // set by the first per-module command
    std::map<std::string, bool> table; // module -> on
};
FilterModel g_model;

bool equalsIgnoringCase(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i])
            return false;
    }
    return true;
}

void modelCommand(const std::vector<std::string>& words)
{
    if (words.size() < 2)
        return; // usage text, or an option without its value: nothing changes
    if (words[0] == "-loglevel") {
        g_model.printLevel = std::atoi(words[1].c_str());
    } else if (words[0] == "-logmodule" && words.size() >= 3) {
        g_model.table[words[1]] = equalsIgnoringCase(words[2], "on");
        g_model.tableUsed = true;
        g_model.mode = 1;
    } else if (words[0] == "-logmodule") {
        g_model.mode = equalsIgnoringCase(words[1], "off") ? 0 : 2;
    }
}

bool modelPrints(int level, const char* module)
{
    if (level > g_model.printLevel || g_model.mode == 0)
        return false;
    if (g_model.mode == 1 && g_model.tableUsed && module != nullptr) {
        auto it = g_model.table.find(module);
        if (it != g_model.table.end() && !it->second)
            return false;
    }
    return true;
}

void discard(const char* /*text*/) {}

void removeDir()
{
    Orlix::Infra::logCleanup();
    std::error_code ignored;
    std::filesystem::remove_all(g_dir, ignored);
}

// A -logpath value as a file in the temporary directory: letters, digits, '.', '-' and '_'
// kept (at most 32), everything else dropped. The word '' stands for the empty path that
// cancels file output.
std::string confinedPath(const std::string& value)
{
    if (value == "''")
        return std::string();
    std::string name;
    for (const char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (plain && name.size() < 32)
            name += c;
    }
    if (name.empty() || name == "." || name == "..")
        name = "log";
    return g_dir + "/" + name;
}

void runLine(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "-logpath")
            words[i + 1] = confinedPath(words[i + 1]);
    }
    // A level too large for an int is read differently by different readers: keep it short.
    if (words.size() >= 2 && words[0] == "-loglevel" && words[1].size() > 9)
        words[1].resize(9);
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Orlix::Infra::setLogFilter(static_cast<int>(words.size()), argv.data());
    modelCommand(words);

    const char* module = words.size() > 1 ? words[1].c_str() : nullptr;
    const char* text = words.empty() ? "" : words.back().c_str();
    for (int level = -1; level <= 7; level += 4) {
        const int n =
            Orlix::Infra::logFilter(level, module, text, module, level, text, "%s\n", text);
        if ((n > 0) != modelPrints(level, module)) {
            std::fprintf(stderr, "orlix-fuzz mismatch: logFilter(level %d, module %s) %s\n", level,
                         module != nullptr ? module : "(null)", n > 0 ? "printed" : "was silent");
            std::abort();
        }
    }
    Orlix::Infra::logWarn("%s", text); // may leave the line open
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orlix-fuzz-logfilter-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    g_dir = pattern;
    std::atexit(&removeDir);
    // The usage text goes to standard output; libFuzzer reports on standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    Orlix::Infra::setLogPrinter(Orlix::Infra::TFunction1<void, const char*>(&discard));
    Orlix::Infra::setPrintLogLevel(g_model.printLevel);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string line;
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n') {
            runLine(line);
            line.clear();
        } else if (c != '\0') {
            line += c;
        }
    }
    runLine(line);
    return 0;
}
