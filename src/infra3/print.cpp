// The print core: level functions, prefix, colours, outputs and sinks.
#include "infra/print.h"

#include "infra/error.h"

#include "infra3/print_internal.h"
#include "infra3/singleton.h"
#include "platform/console.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/time.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace Orlix {
namespace Infra {

namespace {

constexpr int kLineBufferSize = 8192;
constexpr int kLevelCount = 7;

const char* const kTableWords[kLevelCount] = {"",      "fatal ", "error ", "warn ",
                                              "info ", "trace ", "debug "};
const char* const kDedicatedWords[kLevelCount] = {"",       "fatal ", "error ", "warn  ",
                                                  "info  ", "trace ", "debug "};
const unsigned short kAttributes[kLevelCount] = {0, 5, 4, 6, 2, 7, 3};

// The print state is process-wide and, by contract, configured during start-up. The fields
// that printing threads share while they print are atomics (relaxed: each is an independent
// word, as the behaviour only needs each read to see some written value), so concurrent
// printing is free of data races without a lock.
std::atomic<int> g_printLevel{3};
std::atomic<unsigned int> g_optionBits{0};
std::atomic<bool> g_lineStart{true};
std::atomic<bool> g_colourRestored{true};
std::atomic<unsigned short> g_savedAttributes{0};

thread_local unsigned int t_functionReuse = 0;

enum OptionBit : unsigned int
{
    bitTime = 1u << 0,
    bitColor = 1u << 1,
    bitModule = 1u << 2,
    bitLevel = 1u << 3,
    bitThreadId = 1u << 4,
    bitVersion = 1u << 5,
    bitFunction = 1u << 6,
    bitFile = 1u << 7,
    bitLine = 1u << 8
};

// The reserved bytes of PrintOptions are copied and never read; they are kept beside the
// flags so that a round trip through setPrintOptions() returns them unchanged.
char g_reserved[sizeof(PrintOptions::reserved)] = {};

// The outputs: the log printer and the sink list. They are created on first attach and
// destroyed at process exit; printing before or after that simply finds no sink.
struct PrintOutputs
{
    TFunction1<void, const char*> printer;
    std::vector<TFunction1<bool, const char*>> sinks;
};

PrintOutputs* outputs()
{
    return Detail::CSingleton<PrintOutputs>::instance(
        __FILE__, "`anonymous-namespace'::PrintOutputs::instance", __LINE__);
}

// One line under construction: a fixed buffer whose last character is always a terminator.
struct LineBuffer
{
    char text[kLineBufferSize];
    int length = 0;
    bool cut = false;

    void vappend(const char* fmt, va_list args)
    {
        if (cut)
            return;
        const int room = kLineBufferSize - 1 - length;
        const int written =
            Platform::boundedFormatV(text + length, static_cast<size_t>(room) + 1, fmt, args);
        if (written < 0) {
            // An encoding error: vsnprintf may have written part of the text. Drop it so that
            // every output and the returned count see the same characters.
            text[length] = '\0';
            return;
        }
        if (written > room) {
            length = kLineBufferSize - 1;
            cut = true;
        } else {
            length += written;
        }
    }

    // Appends len characters of text, cutting at the buffer's limit.
    void appendRaw(const char* text, size_t len)
    {
        if (cut)
            return;
        const size_t room = static_cast<size_t>(kLineBufferSize - 1 - length);
        if (len > room) {
            len = room;
            cut = true;
        }
        std::memcpy(this->text + length, text, len);
        length += static_cast<int>(len);
        this->text[length] = '\0';
    }

    // Appends text; a null text (a caller's null module name) appends nothing.
    void appendText(const char* text)
    {
        if (text != nullptr)
            appendRaw(text, std::strlen(text));
    }

    // Appends "<open><text><close>" (for "[%s] " style elements).
    void appendWrapped(const char* open, const char* text, const char* close)
    {
        appendText(open);
        appendText(text);
        appendText(close);
    }

    // Appends a non-negative number below 100 as two digits, and the separator.
    void appendTwoDigits(int value, char separator)
    {
        const char digits[3] = {static_cast<char>('0' + value / 10),
                                static_cast<char>('0' + value % 10), separator};
        appendRaw(digits, 3);
    }

    // Appends a decimal number followed by a space (for "tid:%d " and "%d ").
    void appendNumber(long long value)
    {
        char digits[24];
        char* end = digits + sizeof digits;
        char* p = end;
        *--p = ' ';
        const bool negative = value < 0;
        unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                                : static_cast<unsigned long long>(value);
        do {
            *--p = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative)
            *--p = '-';
        appendRaw(p, static_cast<size_t>(end - p));
    }
};

void emit(const char* text)
{
    PrintOutputs* out = Detail::CSingleton<PrintOutputs>::peek();
    if (out == nullptr || out->printer.empty()) {
        Platform::debugOutput(text);
        std::fputs(text, stdout);
    } else {
        TFunction1<void, const char*> printer = out->printer;
        printer(text);
    }
    if (out != nullptr) {
        for (size_t i = 0; i < out->sinks.size(); ++i) {
            TFunction1<bool, const char*> sink = out->sinks[i];
            sink(text);
        }
    }
}

int printLevelled(int level, const char* levelWord, const char* module, const char* fmt,
                  va_list args)
{
    // A null format names no line: nothing is printed.
    if (fmt == nullptr) {
        setLastError(EINVAL);
        return 0;
    }
    const Detail::PrintPrefix prefix = {module, "", levelWord, "", nullptr, 0};
    return Detail::composeAndEmit(kAttributes[level], prefix, fmt, args);
}

} // namespace

namespace Detail {

int composeAndEmit(unsigned short attribute, const PrintPrefix& prefix, const char* fmt,
                   va_list args)
{
    const unsigned int options = g_optionBits.load(std::memory_order_relaxed);
    LineBuffer line;
    line.text[0] = '\0';

    if (g_lineStart.load(std::memory_order_relaxed)) {
        if ((options & bitColor) == 0) {
            g_savedAttributes.store(Platform::consoleAttributes(), std::memory_order_relaxed);
            Platform::setConsoleAttributes(attribute);
            g_colourRestored.store(false, std::memory_order_relaxed);
        }
        // The prefix elements are copied directly rather than through the printf family:
        // they are plain texts and small numbers, and this halves the cost of a line.
        const Platform::CalendarReading now = Platform::localTime();
        if ((options & bitTime) == 0) {
            line.appendTwoDigits(now.hour, ':');
            line.appendTwoDigits(now.minute, ':');
            line.appendTwoDigits(now.second, '|');
        }
        if ((options & bitModule) == 0)
            line.appendWrapped("[", prefix.module, "] ");
        if ((options & bitVersion) == 0)
            line.appendWrapped("[ver:", prefix.version, "] ");
        if ((options & bitLevel) == 0)
            line.appendText(prefix.levelWord);
        if (prefix.line > 0 && (options & bitFile) == 0)
            line.appendWrapped("", prefix.file, " ");
        if ((options & bitFunction) == 0)
            line.appendWrapped("", prefix.function, " ");
        if (prefix.line > 0 && (options & bitLine) == 0)
            line.appendNumber(prefix.line);
        if ((options & bitThreadId) == 0) {
            line.appendText("tid:");
            line.appendNumber(Platform::currentThreadId());
        }
    }

    line.vappend(fmt, args);
    emit(line.text);

    const bool lineStart = line.cut || (line.length >= 1 && line.text[line.length - 1] == '\n');
    g_lineStart.store(lineStart, std::memory_order_relaxed);
    if (lineStart &&
        !((options & bitColor) != 0 && g_colourRestored.load(std::memory_order_relaxed))) {
        Platform::restoreConsoleAttributes(g_savedAttributes.load(std::memory_order_relaxed));
        g_colourRestored.store(true, std::memory_order_relaxed);
    }

    writeLogFile(line.text, line.length);
    return line.length;
}

int printLogLevel()
{
    return g_printLevel.load(std::memory_order_relaxed);
}

PrintOptions printOptions()
{
    const unsigned int bits = g_optionBits.load(std::memory_order_relaxed);
    PrintOptions options;
    options.hideTime = (bits & bitTime) != 0;
    options.hideColor = (bits & bitColor) != 0;
    options.hideModule = (bits & bitModule) != 0;
    options.hideLevel = (bits & bitLevel) != 0;
    options.hideThreadId = (bits & bitThreadId) != 0;
    options.hideVersion = (bits & bitVersion) != 0;
    options.hideFunction = (bits & bitFunction) != 0;
    options.hideFile = (bits & bitFile) != 0;
    options.hideLine = (bits & bitLine) != 0;
    std::memcpy(options.reserved, g_reserved, sizeof(options.reserved));
    return options;
}

bool versionHidden()
{
    return (g_optionBits.load(std::memory_order_relaxed) & bitVersion) != 0;
}

const char* tableLevelWord(int level)
{
    return (level >= 0 && level < kLevelCount) ? kTableWords[level] : "";
}

unsigned short levelAttribute(int level)
{
    return (level >= 0 && level < kLevelCount) ? kAttributes[level] : 0;
}

void setCurrentFunctionReuse(unsigned int value)
{
    t_functionReuse = value;
}

} // namespace Detail

#define ORLIX_DEFINE_LEVEL_FUNCTION(name, level)                                                   \
    int name(const char* fmt, ...)                                                                 \
    {                                                                                              \
        if (g_printLevel.load(std::memory_order_relaxed) < (level))                                \
            return 0;                                                                              \
        va_list args;                                                                              \
        va_start(args, fmt);                                                                       \
        const int n = printLevelled((level), kDedicatedWords[(level)], "", fmt, args);             \
        va_end(args);                                                                              \
        return n;                                                                                  \
    }

ORLIX_DEFINE_LEVEL_FUNCTION(logFatal, 1)
ORLIX_DEFINE_LEVEL_FUNCTION(logError, 2)
ORLIX_DEFINE_LEVEL_FUNCTION(logWarn, 3)
ORLIX_DEFINE_LEVEL_FUNCTION(logInfo, 4)
ORLIX_DEFINE_LEVEL_FUNCTION(logTrace, 5)
ORLIX_DEFINE_LEVEL_FUNCTION(logDebug, 6)

#undef ORLIX_DEFINE_LEVEL_FUNCTION

int logLibName(int level, const char* libName, const char* fmt, ...)
{
    if (level < 1 || level > 6 || g_printLevel.load(std::memory_order_relaxed) < level)
        return 0;
    va_list args;
    va_start(args, fmt);
    const int n = printLevelled(level, kTableWords[level], libName, fmt, args);
    va_end(args);
    return n;
}

void setPrintLogLevel(int level)
{
    g_printLevel.store(level, std::memory_order_relaxed);
}

void setPrintOptions(PrintOptions options)
{
    unsigned int bits = 0;
    bits |= options.hideTime ? bitTime : 0u;
    bits |= options.hideColor ? bitColor : 0u;
    bits |= options.hideModule ? bitModule : 0u;
    bits |= options.hideLevel ? bitLevel : 0u;
    bits |= options.hideThreadId ? bitThreadId : 0u;
    bits |= options.hideVersion ? bitVersion : 0u;
    bits |= options.hideFunction ? bitFunction : 0u;
    bits |= options.hideFile ? bitFile : 0u;
    bits |= options.hideLine ? bitLine : 0u;
    std::memcpy(g_reserved, options.reserved, sizeof(g_reserved));
    g_optionBits.store(bits, std::memory_order_relaxed);
}

int setLogPrinter(TFunction1<void, const char*> printer)
{
    outputs()->printer = printer;
    return 0;
}

bool attachPrint(TFunction1<bool, const char*> proc)
{
    std::vector<TFunction1<bool, const char*>>& sinks = outputs()->sinks;
    for (const auto& sink : sinks) {
        if (sink == proc)
            return false;
    }
    sinks.push_back(proc);
    return true;
}

bool detachPrint(TFunction1<bool, const char*> proc)
{
    std::vector<TFunction1<bool, const char*>>& sinks = outputs()->sinks;
    for (auto it = sinks.begin(); it != sinks.end(); ++it) {
        if (*it == proc) {
            sinks.erase(it);
            return true;
        }
    }
    return false;
}

void dumpHex(unsigned char* data, unsigned int len)
{
    if (g_printLevel.load(std::memory_order_relaxed) < 5)
        return;
    static const char kHex[] = "0123456789abcdef";
    for (unsigned int i = 0; i < len; i += 16) {
        // One row: "<address>: " + 16 x "xx " + "  " + 16 characters + "\n" (+ "\n").
        char row[64 + 16 * 3 + 2 + 16 + 3];
        int n = std::snprintf(row, 64, "%p: ", static_cast<void*>(data + i));
        const unsigned int count = (len - i < 16) ? len - i : 16;
        for (unsigned int j = 0; j < 16; ++j) {
            // A short last row is padded so that its text column lines up with the others.
            row[n++] = j < count ? kHex[data[i + j] >> 4] : ' ';
            row[n++] = j < count ? kHex[data[i + j] & 0xF] : ' ';
            row[n++] = ' ';
        }
        row[n++] = ' ';
        row[n++] = ' ';
        for (unsigned int j = 0; j < count; ++j) {
            const unsigned char c = data[i + j];
            row[n++] = (c >= 32 && c <= 122) ? static_cast<char>(c) : '.';
        }
        row[n++] = '\n';
        if (i % 512 == 0)
            row[n++] = '\n';
        row[n] = '\0';
        logTrace("%s", row);
    }
}

unsigned int getCurrentFunctionReuse()
{
    return t_functionReuse;
}

} // namespace Infra
} // namespace Orlix
