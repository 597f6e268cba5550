// Lock constructors when memory runs out: a constructor that cannot get all of its memory
// lets std::bad_alloc through and leaves nothing allocated behind.
//
// This executable replaces the global operator new and delete: they count the blocks alive
// and, when armed, make the n-th allocation from now fail.
#include "infra/legacy_mutex.h"
#include "infra/readwritemutex.h"
#include "infra/semaphore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

long g_live = 0;  // blocks handed out and not yet returned
int g_failIn = 0; // 0: never fail; n: the n-th allocation from now fails

} // namespace

void* operator new(std::size_t size)
{
    if (g_failIn > 0 && --g_failIn == 0)
        throw std::bad_alloc();
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    ++g_live;
    return block;
}

// The block came from malloc in the operator new above; GCC cannot see that pairing.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept
{
    if (block != nullptr) {
        --g_live;
        std::free(block);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}

namespace {

// Makes the first, second, ... allocation of make() fail in turn until make() gets through
// without a failure; after each attempt exactly the blocks alive before it must be alive.
template <class Make>
void expectNoLeakWhenAnAllocationFails(Make make)
{
    for (int n = 1; n <= 16; ++n) {
        const long before = g_live;
        bool threw = false;
        g_failIn = n;
        try {
            make();
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        g_failIn = 0;
        const long leaked = g_live - before;
        EXPECT_EQ(leaked, 0) << "with allocation " << n << " failing";
        if (!threw)
            return;
    }
    ADD_FAILURE() << "the constructor needs more than 16 allocations";
}

} // namespace

TEST(LockConstructionOutOfMemory, NothingLeaks)
{
    expectNoLeakWhenAnAllocationFails([] { Orlix::Infra::CSemaphore semaphore(1); });
    expectNoLeakWhenAnAllocationFails([] { Orlix::Infra::CReadWriteMutex lock; });
    expectNoLeakWhenAnAllocationFails(
        [] { Orlix::Infra::CReadWriteMutex lock(Orlix::Infra::CReadWriteMutex::priorityWrite); });
    expectNoLeakWhenAnAllocationFails([] { ::CMutex legacy; });
}
