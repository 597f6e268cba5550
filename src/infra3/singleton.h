// Process-wide services created on first use (internal).
//
// Every singleton of the library follows one pattern:
//  1. instance() reads the holder; when it already owns an object it returns it without
//     taking any lock;
//  2. otherwise it takes the holder's creation mutex and reads the holder again (another
//     thread may have created the object meanwhile);
//  3. otherwise it creates the object, publishes it and registers with atexit() a function
//     that empties the holder, destroying the object at process exit. When atexit() refuses,
//     the failure is reported at info level as "<file>:<function> atexit failed, line : <n>"
//     and the object simply lives until the process ends.
// A use after the exit-time destruction creates a fresh object, which then lives until the
// process ends.
//
// The creation mutex is a std::mutex: it is constant-initialised, so a singleton may be
// reached from another translation unit's static initialiser or destructor without
// depending on initialisation order, and its destructor is trivial.
#ifndef ORLIX_SRC_INFRA3_SINGLETON_H
#define ORLIX_SRC_INFRA3_SINGLETON_H

#include "infra/print.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace Orlix {
namespace Infra {
namespace Detail {

// Holder of the one T of the process. T needs a default constructor reachable from here
// (declare `friend class Orlix::Infra::Detail::CSingleton<T>;` when it is private).
template <class T>
class CSingleton
{
public:
    // The object, created on first call. file and function name the caller's source file and
    // qualified instance() operation for the atexit failure line.
    static T* instance(const char* file, const char* function, int line)
    {
        T* object = s_object.load(std::memory_order_acquire);
        if (object != nullptr)
            return object;
        std::lock_guard<std::mutex> guard(s_creation);
        object = s_object.load(std::memory_order_acquire);
        if (object != nullptr)
            return object;
        object = new T();
        s_object.store(object, std::memory_order_release);
        if (std::atexit(&CSingleton::destroy) != 0)
            logInfo("%s:%s atexit failed, line : %d\n", file, function, line);
        return object;
    }

    // The object if it exists now, else null; never creates it.
    static T* peek() { return s_object.load(std::memory_order_acquire); }

    // Empties the holder and destroys the object (the atexit function).
    static void destroy()
    {
        T* object = nullptr;
        {
            std::lock_guard<std::mutex> guard(s_creation);
            object = s_object.exchange(nullptr, std::memory_order_acq_rel);
        }
        delete object;
    }

private:
    static std::atomic<T*> s_object;
    static std::mutex s_creation;
};

template <class T>
std::atomic<T*> CSingleton<T>::s_object{nullptr};
template <class T>
std::mutex CSingleton<T>::s_creation;

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_SINGLETON_H
