// Delegates: binding, equality (with reuse tags), invocation.
#include "infra/function.h"
#include "infra/print.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

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

    // An unused kind below 16 that holds a member binding is still called; a member binding
    // tagged 0 is empty, and an empty delegate never calls through what it holds.
    stdoutOf([&] { EXPECT_EQ(F1(&Counter::add, &c, 5)(4), 7); });
    F1 taggedEmpty(&Counter::add, &c, 0);
    EXPECT_TRUE(taggedEmpty.empty());
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(taggedEmpty(100), 0); }),
              invalid + std::string("0, typeid : ") + counterType + "\n");
    EXPECT_EQ(c.total, 7);
}
