// Errors and delegates: per-thread error codes with a message table, and TFunction, the
// callback type every part of the library takes.
//
// Build: g++ -std=c++17 errors.cpp $(pkg-config --cflags --libs orlix)
#include <infra/error.h>
#include <infra/function.h>

#include <cstdio>
#include <cstring>
#include <thread>

using namespace Orlix::Infra;

namespace {

// Application codes; the library's own are 0x1000000E/F and 0x10030000 and up.
constexpr int kErrDiskFull = 0x20000001;

// The library's failure style: return false and leave a code for the calling thread.
bool saveReport(const char* text, unsigned int freeBytes)
{
    if (std::strlen(text) > freeBytes) {
        setLastError(kErrDiskFull);
        return false;
    }
    return true;
}

int twice(int x)
{
    return 2 * x;
}

struct Scaler
{
    int factor;
    int scale(int x) { return factor * x; }
};

} // namespace

int main()
{
    bool ok = true;

    // Messages are process-wide: register them once, at start-up.
    setErrMsg(kErrDiskFull, "disk full");
    if (!saveReport("a long report", 4))
        std::printf("saveReport failed: 0x%08x %s\n", static_cast<unsigned>(getLastError()),
                    getErrMsg(getLastError()));
    ok = ok && getLastError() == kErrDiskFull;

    // Codes are per thread: another thread starts at 0.
    int seenElsewhere = -1;
    std::thread other([&seenElsewhere] { seenElsewhere = getLastError(); });
    other.join();
    std::printf("another thread's last error: %d\n", seenElsewhere);
    ok = ok && seenElsewhere == 0 && std::strcmp(getErrMsg(0x7777), "") == 0;

    // Delegates bind a free function, or a member function with its object. They are small
    // values: copy, compare, test for emptiness. A delegate does not keep its object alive.
    TFunction1<int, int> doubler(&twice);
    Scaler byTen{10};
    TFunction1<int, int> scaler(&Scaler::scale, &byTen);
    TFunction1<int, int> none;
    std::printf("doubler(21) = %d, scaler(21) = %d\n", doubler(21), scaler(21));
    ok = ok && doubler(21) == 42 && scaler(21) == 210 && none.empty();

    // Equality is what registries use to refuse duplicates and to find what to detach.
    ok = ok && scaler == TFunction1<int, int>(&Scaler::scale, &byTen) && !(scaler == doubler);

    // ORLIX_ASSERT(cond) guards preconditions that must never fail: when cond is false it
    // prints "***** Internal Program Error - assertion (cond) failed in <function>:
    // <file>(<line>)" and ends the process. It is always compiled in.
    ORLIX_ASSERT(byTen.factor == 10);

    std::printf("errors: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
