// systemCall: run a command line as a new process and wait for it.
#include "infra/print.h"
#include "infra/thread.h"
#include "infra3/commandline.h"
#include "platform/process.h"

#include <cstring>

namespace Orlix {
namespace Infra {

namespace Detail {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

} // namespace

bool splitCommandLine(const char* command, std::vector<std::string>& arguments)
{
    arguments.clear();
    std::string current;
    bool inArgument = false; // an argument has begun (possibly empty, from "" or '')
    for (const char* p = command; *p != '\0'; ++p) {
        const char c = *p;
        if (isBlank(c)) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == '\'') {
            inArgument = true;
            for (++p; *p != '\'' && *p != '\0'; ++p)
                current += *p;
            if (*p == '\0')
                return false;
        } else if (c == '"') {
            inArgument = true;
            for (++p; *p != '"' && *p != '\0'; ++p) {
                if (*p == '\\' && p[1] != '\0' && std::strchr("\"\\$`\n", p[1]) != nullptr) {
                    ++p;
                    if (*p == '\n')
                        continue;
                }
                current += *p;
            }
            if (*p == '\0')
                return false;
        } else if (c == '\\') {
            ++p;
            if (*p == '\0')
                return false;
            if (*p == '\n')
                continue;
            inArgument = true;
            current += *p;
        } else {
            inArgument = true;
            current += c;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    return true;
}

} // namespace Detail

namespace {

// Longest command line accepted, in characters, plus one: a fixed command-line buffer.
constexpr std::size_t kCommandBufferSize = 260;

} // namespace

int systemCall(const char* command)
{
    const char* shown = command != nullptr ? command : "(null)";
    if (command != nullptr && std::strlen(command) >= kCommandBufferSize) {
        logError("systemCall's input parameter is too long, command : %s, line: %d \n", command,
                 __LINE__);
        return -1;
    }
    std::vector<std::string> arguments;
    if (command == nullptr || !Detail::splitCommandLine(command, arguments) ||
        Platform::spawnAndWait(arguments) != 0) {
        logWarn("systemCall CreateProcessA cmd : %s failed, line :  %d\n", shown, __LINE__);
        return -1;
    }
    return 0;
}

} // namespace Infra
} // namespace Orlix
