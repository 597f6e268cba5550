// Helpers shared by the thread, thread-manager and timer suites.
#ifndef ORLIX_TESTS_THREADS_THREADS_TEST_UTIL_H
#define ORLIX_TESTS_THREADS_THREADS_TEST_UTIL_H

#include "infra/print.h"
#include "infra/thread.h"
#include "support/testsupport.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#if defined(__SANITIZE_THREAD__)
#define ORLIX_TEST_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORLIX_TEST_UNDER_TSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ORLIX_TEST_UNDER_TSAN)
#define ORLIX_TEST_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORLIX_TEST_UNDER_SANITIZER 1
#endif
#endif

namespace OrlixTest {

// A latch the test opens to let blocked bodies and callbacks go on.
class Gate
{
public:
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_open; });
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// What print() prints at info level with every prefix element hidden, so the text is exactly
// what the library formats.
inline std::string printedBare(const std::function<void()>& print)
{
    Orlix::Infra::PrintOptions bare;
    bare.hideTime = bare.hideColor = bare.hideModule = bare.hideLevel = bare.hideThreadId =
        bare.hideVersion = bare.hideFunction = bare.hideFile = bare.hideLine = true;
    Orlix::Infra::setPrintOptions(bare);
    Orlix::Infra::setPrintLogLevel(4);
    PrintCapture capture;
    print();
    Orlix::Infra::setPrintLogLevel(3);
    Orlix::Infra::setPrintOptions(Orlix::Infra::PrintOptions());
    return capture.text();
}

// A body that works until asked to stop.
inline void pollUntilStopped(Orlix::Infra::CThreadLite& self)
{
    while (self.looping())
        Orlix::Infra::CThread::sleep(1);
}

// A CThreadLite whose body is a lambda.
class LambdaThread
{
public:
    using Body = std::function<void(Orlix::Infra::CThreadLite&)>;
    LambdaThread(Body body, const char* name, int priority = 64, int policy = 0, int stackSize = 0)
        : m_body(std::move(body)),
          m_thread(
              Orlix::Infra::TFunction1<void, Orlix::Infra::CThreadLite&>(&LambdaThread::run, this),
              name, priority, policy, stackSize)
    {}
    Orlix::Infra::CThreadLite& operator*() { return m_thread; }
    Orlix::Infra::CThreadLite* operator->() { return &m_thread; }

private:
    void run(Orlix::Infra::CThreadLite& self) { m_body(self); }
    Body m_body;
    Orlix::Infra::CThreadLite m_thread;
};

} // namespace OrlixTest

#endif // ORLIX_TESTS_THREADS_THREADS_TEST_UTIL_H
