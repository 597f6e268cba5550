// The smallest useful Orlix program: it includes only the umbrella header and uses a few
// families, so building it proves that the installed package is complete and linkable.
#include <infra/orlix.h>

#include <cstdio>
#include <cstring>

namespace {

bool g_sawLine = false;

bool sink(const char* text)
{
    g_sawLine = g_sawLine || std::strstr(text, "consumer ready") != nullptr;
    return true;
}

} // namespace

int main()
{
    using namespace Orlix;
    Infra::attachPrint(Infra::TFunction1<bool, const char*>(&sink));
    Infra::logWarn("consumer ready\n");

    Infra::CMutex mutex;
    Infra::TGuard<Infra::CMutex> guard(mutex);
    Infra::setLastError(3);

    const bool ok = g_sawLine && Infra::getLastError() == 3;
    std::printf("consumer: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
