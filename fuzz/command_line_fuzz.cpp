// Splits arbitrary text as a command line. Whatever splits must survive a round trip: each
// argument quoted again ('...' with ' written as '\'') and joined by blanks splits back into
// the same arguments.
#include "infra3/commandline.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> arguments;
    if (!Orlix::Infra::Detail::splitCommandLine(line.c_str(), arguments))
        return 0;
    std::string quoted;
    for (const std::string& argument : arguments) {
        quoted += " '";
        for (char c : argument) {
            if (c == '\'')
                quoted += "'\\''";
            else
                quoted += c;
        }
        quoted += "'";
    }
    std::vector<std::string> again;
    if (!Orlix::Infra::Detail::splitCommandLine(quoted.c_str(), again) || again != arguments)
        std::abort();
    return 0;
}
