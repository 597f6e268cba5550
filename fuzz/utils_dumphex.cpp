// dumpHex against an independent rendering of its documented layout: 16 bytes a line as
// "<address>: " and "xx " per byte (a short last line padded to the full width), two blanks,
// the bytes 32..122 as themselves and the others as '.', a line feed, and a blank line after
// the lines at offsets 0, 512, 1024, ... The data live in a heap block of exactly their size,
// so AddressSanitizer reports a read past it.
#include "fuzz_check.h"

#include "infra/print.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using OrlixFuzz::check;

namespace {

std::string g_printed;

void capture(const char* text)
{
    g_printed += text;
}

std::string expected(const unsigned char* data, unsigned int len)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < len; i += 16) {
        char address[64];
        std::snprintf(address, sizeof(address), "%p: ", static_cast<const void*>(data + i));
        out += address;
        for (unsigned int j = 0; j < 16; ++j) {
            if (i + j < len) {
                out += kHex[data[i + j] >> 4];
                out += kHex[data[i + j] & 15];
            } else {
                out += "  ";
            }
            out += ' ';
        }
        out += "  ";
        for (unsigned int j = 0; j < 16 && i + j < len; ++j) {
            const unsigned char c = data[i + j];
            out += (c >= 32 && c <= 122) ? static_cast<char>(c) : '.';
        }
        out += '\n';
        if (i % 512 == 0)
            out += '\n';
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    Orlix::Infra::PrintOptions options;
    options.hideTime = options.hideColor = options.hideModule = options.hideLevel = true;
    options.hideThreadId = options.hideVersion = options.hideFunction = true;
    options.hideFile = options.hideLine = true;
    Orlix::Infra::setPrintOptions(options);
    Orlix::Infra::setLogPrinter(Orlix::Infra::TFunction1<void, const char*>(&capture));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int level = data[0] % 8; // below 5 (trace) nothing is printed
    const unsigned int len = static_cast<unsigned int>(size - 1);
    std::unique_ptr<unsigned char[]> copy(new unsigned char[len + (len == 0)]);
    std::memcpy(copy.get(), data + 1, len);

    Orlix::Infra::setPrintLogLevel(level);
    g_printed.clear();
    Orlix::Infra::dumpHex(copy.get(), len);
    if (level < 5)
        check(g_printed.empty(), "dumpHex printed below trace level");
    else
        check(g_printed == expected(copy.get(), len), "dumpHex text differs");
    return 0;
}
