// Win32 implementation of spawn-and-wait (CreateProcessW, WaitForSingleObject).
#include "platform/process.h"

#include "platform/win32/win32.h"

#include <cerrno>

namespace Orlix {
namespace Platform {

namespace {

// Appends one argument quoted so that the C runtime's command-line parser (and
// CommandLineToArgvW) gives it back unchanged: backslashes are literal except before a
// quote, where they are doubled, and the quote is escaped.
void appendQuoted(std::wstring& commandLine, const std::wstring& argument)
{
    if (!commandLine.empty())
        commandLine += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        commandLine += argument;
        return;
    }
    commandLine += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            commandLine.append(backslashes * 2 + 1, L'\\');
        else
            commandLine.append(backslashes, L'\\');
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(backslashes * 2, L'\\');
    commandLine += L'"';
}

} // namespace

int spawnAndWait(const std::vector<std::string>& arguments)
{
    if (arguments.empty() || arguments[0].empty())
        return EINVAL;
    std::wstring commandLine;
    for (const std::string& argument : arguments)
        appendQuoted(commandLine, Win32::widen(argument.c_str()));

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    HANDLE standard[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                          GetStdHandle(STD_ERROR_HANDLE)};
    startup.StartupInfo.hStdInput = standard[0];
    startup.StartupInfo.hStdOutput = standard[1];
    startup.StartupInfo.hStdError = standard[2];

    // Only the standard handles pass on: the handle list names them, so other inheritable
    // handles of this process (files opened by other threads meanwhile) stay here.
    HANDLE inherit[3];
    DWORD count = 0;
    for (HANDLE h : standard) {
        DWORD flags = 0;
        if (h != nullptr && h != INVALID_HANDLE_VALUE && GetHandleInformation(h, &flags) &&
            (flags & HANDLE_FLAG_INHERIT) != 0) {
            bool seen = false;
            for (DWORD i = 0; i < count; ++i)
                seen = seen || inherit[i] == h;
            if (!seen)
                inherit[count++] = h;
        }
    }
    SIZE_T attributeSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    std::string attributeStorage(attributeSize, '\0');
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&attributeStorage[0]);
    bool haveList = false;
    if (count > 0 && attributeSize > 0 &&
        InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) {
        haveList = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                             inherit, count * sizeof(HANDLE), nullptr, nullptr) !=
                   FALSE;
        if (haveList)
            startup.lpAttributeList = attributes;
        else
            DeleteProcThreadAttributeList(attributes);
    }

    PROCESS_INFORMATION process{};
    // No application name: the program is the command line's first word, searched in the
    // usual places (the program's directory, the current one, the system's, PATH) with
    // ".exe" appended when it has no extension.
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr,
                                        haveList ? TRUE : FALSE,
                                        haveList ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr,
                                        nullptr, &startup.StartupInfo, &process);
    const DWORD error = started ? ERROR_SUCCESS : GetLastError();
    if (haveList)
        DeleteProcThreadAttributeList(attributes);
    if (!started)
        return Win32::errnoFor(error);
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    return 0;
}

} // namespace Platform
} // namespace Orlix
