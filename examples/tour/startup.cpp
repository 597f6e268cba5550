// Power-on: what a long-running program sets up before its threads start.
//
// Order matters in one place: the packet manager takes its configuration only before its
// first use, so the pool is configured here, before anything creates a packet.
#include "sensordriver.h"
#include "tour.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using Orlix::Infra::attachPrint;
using Orlix::Infra::CFile;
using Orlix::Infra::CThreadManager;
using Orlix::Infra::CTimerManager;
using Orlix::Infra::CVersion;
using Orlix::Infra::TFunction1;
using Orlix::Memory::CPacketManager;

using Command = std::vector<std::string>;

// The gateway's own commands: the log file in the working directory, limited to 2 KiB, and
// trace level so that the sensors' readings show until the operator quiets them.
std::vector<Command> builtInCommands(const std::string& logPath)
{
    return {{"-logpath", logPath}, {"-logsize", "2"}, {"-loglevel", "5"}};
}

// Splits the arguments into --keep and logfilter commands: a command starts at every word
// that begins with "-log" or is "-h" (so "-logsize -5" stays one command); a leading word
// "logfilter" is skipped. False for a word that belongs to no command.
bool parseArguments(int argc, char** argv, bool& keep, std::vector<Command>& commands)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--keep")
            keep = true;
        else if (word == "logfilter")
            continue;
        else if (word.rfind("-log", 0) == 0 || word == "-h")
            commands.push_back({word});
        else if (!commands.empty())
            commands.back().push_back(word);
        else
            return false;
    }
    return true;
}

// A print sink sees every text the library prints, from any thread: here it counts the
// bytes that also go to the log file.
struct LogCounter
{
    std::atomic<unsigned long> bytes{0};
    bool count(const char* text)
    {
        bytes += std::char_traits<char>::length(text);
        return true;
    }
};
LogCounter g_counter;
const TFunction1<bool, const char*> g_counterSink(&LogCounter::count, &g_counter);

std::string makeWorkDir()
{
    std::error_code error;
    const std::string base = (std::filesystem::temp_directory_path(error) / "orlix-tour-").string();
    const auto pid = Orlix::Infra::getCurrectProcessID();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string dir = base + std::to_string(pid) + "-" + std::to_string(attempt);
        if (!CFile::access(dir.c_str(), 0) && CFile::makeDirectory(dir.c_str()))
            return dir;
    }
    return std::string();
}

void startLog(Gateway& gateway, const std::vector<Command>& userCommands)
{
    gateway.logPath = gateway.workDir + "/gateway.log";
    for (const Command& command : builtInCommands(gateway.logPath))
        tourLogCommand(command);
    for (const Command& command : userCommands) {
        tourLogCommand(command);
        if (command.size() == 2 && command[0] == "-logpath") {
            gateway.logPath = command[1];
            gateway.logOutside = true;
        }
    }
    Orlix::Infra::logCleanup(); // a new path takes effect when the file is next opened
    attachPrint(g_counterSink);
}

void loadDriver(Gateway& gateway)
{
    // Nobody registered "ThermoDriver": the registry opens libThermoDriver.so by name and
    // calls its createThermoDriverObject. The object belongs to the tour from here on.
    Orlix::Component::IUnknown* object =
        Orlix::Component::createComponentObject("ThermoDriver", nullptr);
    gateway.driver = static_cast<ISensorDriver*>(object);
    if (gateway.driver != nullptr)
        tourSay("sensor driver: \"%s\", loaded by name from libThermoDriver.so",
                gateway.driver->describe());
    else
        tourSay("libThermoDriver.so was not found: the sensors will make up their readings");
}

} // namespace

void tourLogCommand(std::vector<std::string> words)
{
    std::printf("   > logfilter");
    for (const auto& word : words)
        std::printf(" %s", word.empty() ? "\"\"" : word.c_str());
    std::printf("\n");
    std::fflush(stdout);
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    Orlix::Infra::setLogFilter(static_cast<int>(argv.size()), argv.data());
}

unsigned long stopLog()
{
    tourLogCommand({"-logpath", ""}); // no more log file
    Orlix::Infra::logCleanup();       // and close the one that is open
    Orlix::Infra::detachPrint(g_counterSink);
    return g_counter.bytes;
}

bool powerOn(Gateway& gateway, int argc, char** argv)
{
    std::vector<Command> userCommands;
    if (!parseArguments(argc, argv, gateway.keep, userCommands)) {
        std::fprintf(stderr,
                     "usage: %s [--keep] [logfilter commands]\n"
                     "  --keep   keep the working directory (the log file and the readings)\n"
                     "  -h       the logfilter command's own usage\n"
                     "  e.g.     %s -loglevel 3 -logthread off -logsize 8\n",
                     argv[0], argv[0]);
        return false;
    }
    std::printf("Orlix tour: a sensor gateway, from power-on to shutdown in about a second.\n");
    tourStep("Power-on");

    // Before the first packet: a pool of 16 KiB in 1 KiB chunks, room for 16 packets.
    CPacketManager::PoolParameter pool = {16 * 1024, 1024, 4};
    CPacketManager::config(CPacketManager::policyPool, nullptr, &pool);
    CPacketManager* manager = CPacketManager::instance(); // builds the pool
    tourSay("packet pool: %u KiB in 1 KiB chunks, configured before the first packet",
            manager->getBufferSize() / 1024);
    CThreadManager::instance()->registerMainThread(); // the "Main" row of the thread table
    CTimerManager::instance()->limitIdlePooled(2);    // at most 2 idle timer threads kept

    gateway.workDir = makeWorkDir();
    if (gateway.workDir.empty()) {
        tourSay("cannot make a working directory in %s",
                std::filesystem::temp_directory_path().string().c_str());
        return false;
    }
    gateway.readingsPath = gateway.workDir + "/readings.csv";
    tourSay("working directory: %s", gateway.workDir.c_str());
    startLog(gateway, userCommands);

    // The version record: one line at info level, in the log file too. The date is the
    // gateway's release date in the compiler's __DATE__ form ("Mmm dd yyyy"); the record
    // prints it as year/month/day, with days and months below 10 padded by a blank.
    CVersion("gateway", 1, 4, 2, "$Revision: 2817 $", "Nov 27 2026").print();
    loadDriver(gateway);
    return true;
}
