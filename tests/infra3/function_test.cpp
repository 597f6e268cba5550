// Delegates: binding, equality (with reuse tags), invocation.
#include "infra/function.h"
#include "infra/print.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

using namespace Orlix::Infra;

namespace {

int (*const addOne)(int) = [](int x) { return x + 1; };
int (*const addTwo)(int) = [](int x) { return x + 2; };

struct Counter
{
    int total = 0;
    unsigned int reuseSeen = 0;
    int add(int x)
    {
        total += x;
        reuseSeen = getCurrentFunctionReuse();
        return total;
    }
    int peek(int x) const { return total + x; }
    void bump(int& x) { ++x; }
};

struct Base
{
    virtual ~Base() = default;
    virtual int name(int x) { return x; }
};

struct Derived : Base
{
    int name(int x) override { return 100 + x; }
};

using F1 = TFunction1<int, int>;

constexpr unsigned int kWildcard = 0xFFFFFFFFu;

// Runs call with standard output captured and returns what it wrote.
template <class Call>
std::string stdoutOf(Call call)
{
    testing::internal::CaptureStdout();
    call();
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(Delegate, BindingsOfEveryShapeInvoke)
{
    EXPECT_EQ(F1(addOne)(41), 42);
    Counter c;
    F1 member(&Counter::add, &c);
    EXPECT_EQ(member.kind(), 1u);
    EXPECT_EQ(member(5), 5);
    EXPECT_EQ(member(5), 10); // the bound object itself, not a copy
    const Counter& constRef = c;
    EXPECT_EQ(F1(&Counter::peek, &constRef)(1), 11);

    int value = 1;
    TFunction1<void, int&>(&Counter::bump, &c)(value);
    EXPECT_EQ(value, 2); // reference arguments pass through

    Derived d;
    F1 viaBase(&Base::name, &d);
    EXPECT_EQ(viaBase(1), 101); // virtual dispatch on the object
    EXPECT_STREQ(viaBase.typeName(), typeid(Derived*).name());

    EXPECT_EQ(TFunction0<int>([]() { return 7; })(), 7);
    TFunction5<std::string, std::string, int, char, bool, double> five(
        [](std::string s, int n, char ch, bool flag, double dbl) {
            return s + std::to_string(n) + ch + (flag ? "T" : "F") + std::to_string(int(dbl));
        });
    EXPECT_EQ(five("x", 1, 'y', true, 2.5), "x1yT2");
}

TEST(Delegate, EqualityOfBindingsAndReuseTags)
{
    Counter a, b;
    const F1 empty;
    const F1 fromNull(static_cast<int (*)(int)>(nullptr));
    const F1 wildcard(&Counter::add, &a, kWildcard);
    const F1 tag20(&Counter::add, &a, 20);
    EXPECT_TRUE(empty.empty() && fromNull.empty());
    EXPECT_EQ(empty.typeName(), nullptr);
    F1 copy = tag20;
    EXPECT_EQ(copy.kind(), 20u);
    F1 assigned;
    assigned = F1(&Counter::add, &a);
    struct Case
    {
        F1 x, y;
        bool equal;
    };
    const Case cases[] = {
        {empty, fromNull, true},
        {empty, F1(addOne), false},
        {F1(addOne), F1(addOne), true},
        {F1(addOne), F1(addTwo), false},
        {F1(&Counter::add, &a), F1(&Counter::add, &a), true},
        {F1(&Counter::add, &a), F1(&Counter::add, &b), false},  // other object
        {F1(&Counter::add, &a), F1(&Counter::peek, &a), false}, // other function
        {F1(&Counter::add, &a), F1(addOne), false},             // member vs free
        {wildcard, tag20, true},                                // the wildcard matches
        {F1(&Counter::add, &a, 17), wildcard, true},            // any tag, both ways
        {tag20, F1(&Counter::add, &a, 17), false},              // tags differ
        {tag20, F1(&Counter::add, &a, 20), true},
        {wildcard, F1(&Counter::add, &b, 20), false}, // other object
        {F1(&Counter::add, &a), tag20, false},        // kind 1 vs tagged
        {F1(&Counter::add, &a), wildcard, false},
        {copy, tag20, true},
        {assigned, F1(&Counter::add, &a), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.x == c.y, c.equal) << &c - cases;
        EXPECT_EQ(c.x != c.y, !c.equal) << &c - cases;
    }
}

TEST(Delegate, ReuseTagIsPublishedPerThread)
{
    Counter c;
    F1(&Counter::add, &c, 20)(1);
    EXPECT_EQ(c.reuseSeen, 20u);
    EXPECT_EQ(getCurrentFunctionReuse(), 20u);

    F1(&Counter::add, &c)(1);
    EXPECT_EQ(c.reuseSeen, 20u); // a kind-1 call leaves the value as it was

    unsigned int otherThread = 1;
    std::thread([&] { otherThread = getCurrentFunctionReuse(); }).join();
    EXPECT_EQ(otherThread, 0u);
}

TEST(Delegate, InvalidKindsPrintAndStillCallMembers)
{
    Counter c;
    const std::string counterType = typeid(Counter*).name();
    const char* const invalid = "FUNCTION_FUNCTION::operator() invalid function type : ";
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(F1(&Counter::add, &c, kWildcard)(3), 3); }),
              invalid + std::string("4294967295, typeid : ") + counterType + "\n");
    EXPECT_EQ(c.total, 3);
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(F1()(3), 0); }),
              invalid + std::string("0, typeid : (null)\n"));

    // Only the wildcard and an empty delegate reach the message: every tag below 16 makes a
    // plain member binding (see MemberBindingTaggedBelowSixteenStaysAMemberBinding).
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(F1(&Counter::add, &c, 5)(4), 7); }), "");
    EXPECT_EQ(c.total, 7);
}

TEST(Delegate, MemberBindingTaggedBelowSixteenStaysAMemberBinding)
{
    // A tag marks reuse and never changes the kind: tag 2 ("free function") used to make the
    // call jump to the member pointer's bytes as if they were a function.
    for (unsigned int tag = 0; tag < 16; ++tag) {
        Counter c;
        c.total = 10;
        const F1 member(&Counter::add, &c, tag);
        const Counter& constC = c;
        const F1 constMember(&Counter::peek, &constC, tag);
        for (const F1* f : {&member, &constMember}) {
            EXPECT_FALSE(f->empty()) << tag;
            EXPECT_EQ(f->kind(), 1u) << tag;
            EXPECT_STRNE(f->typeName(), nullptr) << tag;
        }
        EXPECT_TRUE(member == F1(&Counter::add, &c)) << tag;
        EXPECT_TRUE(member != F1(addOne)) << tag;
        EXPECT_TRUE(member != F1(&Counter::add, &c, 20)) << tag;
        EXPECT_EQ(stdoutOf([&] {
                      EXPECT_EQ(member(5), 15) << tag;
                      EXPECT_EQ(constMember(1), 16) << tag;
                  }),
                  "")
            << tag;
        EXPECT_EQ(c.total, 15) << tag;
    }
}

namespace {

// A function object that counts its live instances and its class-level heap allocations: a
// delegate keeps it in place exactly when the allocation count stays 0.
template <std::size_t Bytes>
struct Tracked
{
    static int live;
    static int allocations;
    char payload[Bytes] = {};
    int calls = 0;

    Tracked() { ++live; }
    Tracked(const Tracked& other) : calls(other.calls) { ++live; }
    Tracked(Tracked&& other) noexcept : calls(other.calls) { ++live; }
    Tracked& operator=(const Tracked&) = delete;
    ~Tracked() { --live; }
    int operator()(int x) { return x + ++calls; }

    static void* operator new(std::size_t size)
    {
        ++allocations;
        return ::operator new(size);
    }
    static void operator delete(void* p) { ::operator delete(p); }
};
template <std::size_t Bytes>
int Tracked<Bytes>::live = 0;
template <std::size_t Bytes>
int Tracked<Bytes>::allocations = 0;

using Small = Tracked<1>;                 // fits beside its call counter in place
using Large = Tracked<8 * sizeof(void*)>; // too big: kept on the heap

} // namespace

TEST(Delegate, LambdasWithCapturesBindAndConvertImplicitly)
{
    int sum = 0;
    std::string text;
    const F1 add([&sum](int x) { return sum += x; });
    EXPECT_EQ(add.kind(), 3u);
    EXPECT_FALSE(add.empty());
    EXPECT_STRNE(add.typeName(), nullptr);
    EXPECT_EQ(add(2), 2);
    EXPECT_EQ(add(3), 5); // captured by reference: the caller's variable

    // A mutable lambda keeps its state between calls, also through a const delegate.
    const F1 counter([n = 0](int x) mutable { return x + ++n; });
    EXPECT_EQ(counter(10), 11);
    EXPECT_EQ(counter(10), 12);

    // Implicit conversion where a delegate is a parameter; a result that is not needed
    // (void delegate) or that converts (long to int) is accepted.
    auto call = [](const TFunction1<void, const char*>& f) { f("abc"); };
    call([&text](const char* s) {
        text += s;
        return text.size();
    });
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(F1([](int x) { return long(x) * 2; })(21), 42);

    // A lambda without captures binds the function it converts to, as &function would.
    auto plain = [](int x) { return x - 1; };
    EXPECT_EQ(F1(plain).kind(), 2u);
    EXPECT_TRUE(F1(plain) == F1(plain));
    EXPECT_EQ(F1(plain).typeName(), nullptr);
    EXPECT_EQ(F1(plain)(1), 0);

    // Not callable with the arguments, or a result that does not convert: no conversion.
    static_assert(!std::is_convertible<int (*)(const char*), F1>::value, "");
    static_assert(!std::is_convertible<decltype(call), F1>::value, "");
    static_assert(!std::is_constructible<TFunction1<int, int>, void (*)(int)>::value, "");
    static_assert(std::is_convertible<decltype(plain), TFunction1<void, int>>::value, "");
}

TEST(Delegate, CallableBindingEqualsOnlyItsOwnCopies)
{
    int hits = 0;
    auto lambda = [&hits](int x) { return hits += x; };
    const F1 first(lambda);
    const F1 second(lambda); // the same lambda bound again is another binding
    F1 copy = first;
    F1 assigned;
    assigned = first;
    EXPECT_TRUE(first == first);
    EXPECT_TRUE(copy == first && first == copy);
    EXPECT_TRUE(assigned == first);
    EXPECT_FALSE(first == second);
    EXPECT_TRUE(first != second);
    EXPECT_FALSE(first == F1());
    EXPECT_FALSE(first == F1(addOne));
    Counter c;
    EXPECT_FALSE(first == F1(&Counter::add, &c));
    EXPECT_FALSE(F1(&Counter::add, &c, kWildcard) == first);

    // Moving keeps the identity with the target and leaves the source empty.
    F1 moved = std::move(copy);
    EXPECT_TRUE(moved == first);
    EXPECT_TRUE(copy.empty()); // NOLINT(bugprone-use-after-move)
    F1 moveAssigned;
    moveAssigned = std::move(moved);
    EXPECT_TRUE(moveAssigned == first);
    EXPECT_TRUE(moved.empty()); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(moveAssigned(4), 4);
}

namespace {

bool g_copyFails = false;

// A callable whose copy fails while g_copyFails is set (as a heap copy may run out of memory).
struct FailingCopy
{
    FailingCopy() = default;
    FailingCopy(const FailingCopy&)
    {
        if (g_copyFails)
            throw std::runtime_error("copy");
    }
    FailingCopy(FailingCopy&&) noexcept = default;
    FailingCopy& operator=(const FailingCopy&) = delete;
    int operator()(int x) const { return -x; }
};

} // namespace

TEST(Delegate, AFailedCopyLeavesTheTargetAsItWas)
{
    const F1 source{FailingCopy()};
    F1 target(addOne);
    g_copyFails = true;
    EXPECT_THROW(target = source, std::runtime_error);
    EXPECT_THROW(F1 copy(source), std::runtime_error);
    g_copyFails = false;
    EXPECT_TRUE(target == F1(addOne));
    EXPECT_EQ(target(1), 2);
    target = source;
    EXPECT_EQ(target(1), -1);
}

TEST(Delegate, SmallCallablesStayInPlaceAndEveryCopyIsReleasedOnce)
{
    {
        TFunction1<int, int> f{Small()};
        EXPECT_EQ(Small::live, 1);
        TFunction1<int, int> g = f; // copies the callable with its state
        EXPECT_EQ(f(0), 1);
        EXPECT_EQ(f(0), 2);
        EXPECT_EQ(g(0), 1); // a copy of the state at copy time, not shared
        TFunction1<int, int> h(std::move(g));
        EXPECT_EQ(h(0), 2);
        EXPECT_EQ(Small::live, 2); // the moved-from one released its callable
        h = f;
        const TFunction1<int, int>& self = h;
        h = self; // assignment to itself changes nothing
        EXPECT_EQ(h(0), 3);
        EXPECT_EQ(Small::live, 2);
        h = F1(addOne);
        EXPECT_EQ(Small::live, 1);
        EXPECT_EQ(h(1), 2);
    }
    EXPECT_EQ(Small::live, 0);
    EXPECT_EQ(Small::allocations, 0);

    // Three pointers' worth of captures still fit: a lambda capturing three references.
    int a = 1, b = 2, c = 3;
    auto three = [&a, &b, &c](int x) { return a + b + c + x; };
    static_assert(sizeof(three) <= 3 * sizeof(void*), "");
    EXPECT_EQ(F1(three)(4), 10);
}

TEST(Delegate, LargeCallablesLiveOnTheHeapAndMoveWithoutCopying)
{
    {
        TFunction1<int, int> f{Large()};
        EXPECT_EQ(Large::allocations, 1);
        TFunction1<int, int> g = f;
        EXPECT_EQ(Large::allocations, 2); // each copy owns its own callable
        EXPECT_EQ(f(0), 1);
        EXPECT_EQ(g(0), 1);
        TFunction1<int, int> h(std::move(f));
        h = std::move(g);
        EXPECT_EQ(Large::allocations, 2); // moves hand the heap copy over
        EXPECT_EQ(Large::live, 1);
        EXPECT_EQ(h(0), 2);
    }
    EXPECT_EQ(Large::live, 0);
}
