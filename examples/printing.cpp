// Levelled printing: the six level functions, the print level, the line prefix, a sink that
// sees every printed text, and a printer that replaces the console.
//
// Build: g++ -std=c++17 printing.cpp $(pkg-config --cflags --libs orlix)
#include <infra/print.h>

#include <cstdio>
#include <string>

using namespace Orlix::Infra;

namespace {

// A sink: attached with attachPrint(), it gets every printed text, prefix included, after the
// console has. Sinks may be called from any printing thread at once; this one is used by one.
struct Recorder
{
    std::string text;
    bool record(const char* printed)
    {
        text += printed;
        return true;
    }
};

// A printer replaces the console (and the debugger channel) for every level function.
std::string g_printed;
void quietPrinter(const char* text)
{
    g_printed += text;
}

} // namespace

int main()
{
    // The print level starts at 3: fatal, error and warn print; info, trace, debug do not.
    const int silent = logInfo("not printed: info is level 4\n");
    logWarn("warnings print from the start\n");

    // Raise the level at start-up (a configuration call: make it before threads print).
    setPrintLogLevel(4);
    logInfo("info lines show now; a line may be built ");
    logInfo("from several calls and gets one prefix\n");

    // The prefix "hh:mm:ss|[module] [ver:] level tid:N " can be trimmed element by element.
    PrintOptions shorter;
    shorter.hideTime = shorter.hideVersion = shorter.hideThreadId = true;
    setPrintOptions(shorter);
    logLibName(4, "example", "a line that names its module, with a shorter prefix\n");

    Recorder recorder;
    const TFunction1<bool, const char*> sink(&Recorder::record, &recorder);
    attachPrint(sink);
    logError("error %d: printed on the console and recorded by the sink\n", 42);
    detachPrint(sink);
    logError("after detachPrint the sink sees nothing\n");

    // Bytes as a hex dump, at trace level (5).
    setPrintLogLevel(5);
    unsigned char bytes[] = {'O', 'r', 'l', 'i', 'x', 0x00, 0x7f, 0xff};
    dumpHex(bytes, sizeof(bytes));

    // A printer instead of the console, for a program that owns its output; an empty
    // delegate brings the console back.
    setLogPrinter(TFunction1<void, const char*>(&quietPrinter));
    logWarn("kept off the console\n");
    setLogPrinter(TFunction1<void, const char*>());
    setPrintOptions(PrintOptions());

    const bool ok = silent == 0 && recorder.text.find("error 42: printed") != std::string::npos &&
                    recorder.text.find("after detachPrint") == std::string::npos &&
                    g_printed.find("kept off the console") != std::string::npos;
    std::printf("printing: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
