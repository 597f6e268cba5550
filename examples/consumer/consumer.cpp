// The smallest useful Orlix program: it includes only the umbrella header and uses a few
// families, so building it proves that the installed package is complete and linkable, and
// running it proves that the library loads and works. It prints one line saying so.
#include <infra/orlix.h>

#include <cstdio>
#include <cstring>

namespace {

bool g_printed = false;

// Takes the library's console output, so that the check's own log line stays off the
// terminal: only the verdict below is shown.
void capture(const char* text)
{
    g_printed = g_printed || std::strstr(text, "print check") != nullptr;
}

} // namespace

int main()
{
    using namespace Orlix;
    Infra::setLogPrinter(Infra::TFunction1<void, const char*>(&capture));
    Infra::logWarn("print check\n"); // warnings pass the default print level
    Infra::setLogPrinter(Infra::TFunction1<void, const char*>());

    Infra::CMutex mutex;
    Infra::TGuard<Infra::CMutex> guard(mutex);
    Infra::setLastError(3);

    const bool ok = g_printed && Infra::getLastError() == 3;
    std::printf("consumer of the installed Orlix: printing, locking and error codes %s\n",
                ok ? "work" : "FAILED");
    return ok ? 0 : 1;
}
