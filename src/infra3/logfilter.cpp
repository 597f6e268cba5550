// The log filter command, per-module printing and the log file writer.
#include "infra/logfilter.h"

#include "infra/infra3/flex_string.h"
#include "infra3/print_internal.h"
#include "infra3/singleton.h"
#include "infra3/textscan.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <system_error>

namespace Orlix {
namespace Infra {

namespace {

// Module mode: 0 = every logFilter() call is off, 1 = the module table decides, 2 = every
// module is on. Single words read by every printing thread, so atomics (relaxed: each is an
// independent setting and a print only needs to see some value that was set).
enum ModuleMode
{
    modeAllOff = 0,
    modeTable = 1,
    modeAllOn = 2
};
std::atomic<int> g_moduleMode{modeAllOn};
std::atomic<bool> g_moduleTableUsed{false};

// Per-module switches (true = on), compared exactly and case-sensitively. Created by the
// first per-module command, destroyed at process exit. The operator may switch a module while
// other threads print through logFilter(); a map is not safe to read while it is being
// changed, so lookups share a reader lock and changes take it exclusively. Only the per-module
// mode looks a module up; in the default mode the table is never touched.
struct ModuleTable
{
    std::shared_mutex lock;
    std::map<flex_string, bool, std::less<>> switches; // guarded by lock
};

ModuleTable* moduleTable()
{
    return Detail::CSingleton<ModuleTable>::instance(
        __FILE__, "`anonymous-namespace'::ModuleTable::instance", __LINE__);
}

bool moduleSwitchedOff(const char* module)
{
    ModuleTable* table = Detail::CSingleton<ModuleTable>::peek();
    if (table == nullptr)
        return false;
    std::shared_lock<std::shared_mutex> guard(table->lock);
    const auto it = table->switches.find(module);
    return it != table->switches.end() && !it->second;
}

// The log file. Every print of every thread ends in writeLogFile(), which checks, rolls over
// and appends in several steps on one FILE* and one size count. Without a lock two threads
// could both see the limit reached and both re-create the file, or one could write while the
// other closes it, and the file would hold torn or lost lines. The writer therefore has a
// lock of its own that covers the whole sequence, so each printed text reaches the file whole
// and the text that crosses the limit is the first content of the new file. The lock is held
// only around file work, never while the console or sinks are called, and is not taken at
// all while no log path is set, so printing without a log file stays lock-free.
//
// g_logLock is a std::mutex because it is constant-initialised and trivially destructible:
// a print from another translation unit's static initialiser or destructor can reach the
// writer at any time.
std::mutex g_logLock;
std::atomic<bool> g_logPathSet{false}; // mirrors !LogFile::path.empty(); the lock-free check

struct LogFile
{
    flex_string path;          // the full file name; empty = no log file
    std::int64_t limit = 0;    // size limit in bytes; 0 = none
    std::FILE* file = nullptr; // open handle or null
    std::int64_t size = 0;     // bytes believed to be in the file
    bool sizeKnown = false;    // the file's size was read from the file system (once)

    ~LogFile()
    {
        std::lock_guard<std::mutex> guard(g_logLock);
        if (file != nullptr)
            std::fclose(file);
    }
};

// Call with g_logLock held.
LogFile* logFile()
{
    return Detail::CSingleton<LogFile>::instance(
        __FILE__, "`anonymous-namespace'::LogFile::instance", __LINE__);
}

void printUsage()
{
    std::printf("logfilter command usage:\n");
    std::printf("logfilter -loglevel [levelnum](0-no printlevel, 1-fatal, 2-error, 3-warn, "
                "4-info, 5-trace, 6-debug): set log level\n");
    std::printf("logfilter -logmodule [modulename] [on/off] #turn module's log on/off\n");
    std::printf("logfilter -logmodule [on/off] #turn ALL module's log on/off\n");
    std::printf("logfilter -logpath [logpath/] #logger module's log to logpath or cancel "
                "logger(by set path to )\n");
    std::printf("logfiter -logsize [logsize] #log file max size limited to logsize Kbytes\n");
}

bool isOn(const char* value)
{
    return Detail::equalsIgnoringCase(value, "on");
}

void switchModule(const char* module, bool on)
{
    ModuleTable* table = moduleTable();
    {
        std::unique_lock<std::shared_mutex> guard(table->lock);
        table->switches[module] = on;
    }
    g_moduleTableUsed.store(true, std::memory_order_relaxed);
    g_moduleMode.store(modeTable, std::memory_order_relaxed);
}

// Sets one of the four prefix flags that the command reaches.
void setHidden(bool PrintOptions::*flag, const char* value)
{
    PrintOptions options = Detail::printOptions();
    options.*flag = !isOn(value);
    setPrintOptions(options);
}

void setLogPath(const char* path)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    LogFile* log = logFile();
    log->path = path;
    g_logPathSet.store(!log->path.empty(), std::memory_order_release);
}

void setLogSize(const char* value)
{
    // The byte count is computed in 32 bits, as the limit has always been: a value whose
    // product does not stay above 0 means no limit.
    const std::uint32_t kib = static_cast<std::uint32_t>(Detail::parseInt(value));
    const std::int32_t bytes = static_cast<std::int32_t>(kib * 1024u);
    std::lock_guard<std::mutex> guard(g_logLock);
    logFile()->limit = bytes > 0 ? bytes : 0;
}

// The part of path after its last backslash, or all of it.
const char* fileNameOf(const char* path)
{
    if (path == nullptr)
        return "";
    const char* slash = std::strrchr(path, '\\');
    return slash != nullptr ? slash + 1 : path;
}

} // namespace

void setLogFilter(int argc, char** argv)
{
    if (argc <= 0 ||
        (argc == 1 && argv != nullptr && argv[0] != nullptr && std::strcmp(argv[0], "-h") == 0)) {
        printUsage();
        return;
    }
    if (argv == nullptr || argv[0] == nullptr)
        return;
    const char* option = argv[0];
    // Every option needs at least one value; without it the command is ignored rather than
    // reading past the words given.
    const char* value = argc >= 2 ? argv[1] : nullptr;
    if (value == nullptr)
        return;

    if (std::strcmp(option, "-loglevel") == 0) {
        setPrintLogLevel(Detail::parseInt(value));
    } else if (std::strcmp(option, "-logmodule") == 0) {
        if (argc >= 3) {
            if (argv[2] != nullptr)
                switchModule(value, isOn(argv[2]));
        } else {
            const bool off = Detail::equalsIgnoringCase(value, "off");
            g_moduleMode.store(off ? modeAllOff : modeAllOn, std::memory_order_relaxed);
        }
    } else if (std::strcmp(option, "-logtime") == 0) {
        setHidden(&PrintOptions::hideTime, value);
    } else if (std::strcmp(option, "-logthread") == 0) {
        setHidden(&PrintOptions::hideThreadId, value);
    } else if (std::strcmp(option, "-logversion") == 0) {
        setHidden(&PrintOptions::hideVersion, value);
    } else if (std::strcmp(option, "-logfunction") == 0) {
        setHidden(&PrintOptions::hideFunction, value);
    } else if (std::strcmp(option, "-logpath") == 0) {
        setLogPath(value);
    } else if (std::strcmp(option, "-logsize") == 0) {
        setLogSize(value);
    }
}

int logFilter(int level, const char* module, const char* file, const char* function, int line,
              const char* version, const char* fmt, ...)
{
    if (level > Detail::printLogLevel())
        return 0;
    const int mode = g_moduleMode.load(std::memory_order_relaxed);
    if (mode == modeAllOff)
        return 0;
    if (mode == modeTable && g_moduleTableUsed.load(std::memory_order_relaxed) &&
        module != nullptr && moduleSwitchedOff(module))
        return 0;

    const bool hideVersion = Detail::versionHidden();
    const Detail::PrintPrefix prefix = {
        module != nullptr ? module : "",
        (version != nullptr && !hideVersion) ? version : "",
        Detail::tableLevelWord(level),
        function != nullptr ? function : "",
        fileNameOf(file),
        line,
    };
    va_list args;
    va_start(args, fmt);
    const int n = Detail::composeAndEmit(Detail::levelAttribute(level), prefix,
                                         fmt != nullptr ? fmt : "", args);
    va_end(args);
    return n;
}

void logCleanup()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    LogFile* log = Detail::CSingleton<LogFile>::peek();
    if (log != nullptr && log->file != nullptr) {
        std::fclose(log->file);
        log->file = nullptr;
    }
}

namespace Detail {

void writeLogFile(const char* text, int length)
{
    if (!g_logPathSet.load(std::memory_order_acquire))
        return;
    std::lock_guard<std::mutex> guard(g_logLock);
    LogFile* log = logFile();
    if (log->path.empty())
        return;

    if (!log->sizeKnown) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(log->path.c_str(), error);
        if (!error)
            log->size = static_cast<std::int64_t>(size);
        log->sizeKnown = true;
    }
    // The "e" flag (close-on-exec) keeps the log file's descriptor out of the processes
    // that systemCall() and other spawners start. "b": the bytes counted against the size
    // limit are exactly the bytes in the file, also where streams translate line ends.
    if (log->file == nullptr) {
        log->file = std::fopen(log->path.c_str(), "a+be");
        if (log->file == nullptr) {
            std::perror("fopen:");
            return;
        }
    }
    if (log->limit > 0 && log->size >= log->limit) {
        std::fclose(log->file);
        log->size = 0;
        log->file = std::fopen(log->path.c_str(), "w+be");
        if (log->file == nullptr) {
            std::perror("fopen:");
            return;
        }
    }
    if (length > 0) {
        const size_t written = std::fwrite(text, 1, static_cast<size_t>(length), log->file);
        log->size += static_cast<std::int64_t>(written);
    }
    std::fflush(log->file);
}

} // namespace Detail
} // namespace Infra
} // namespace Orlix
