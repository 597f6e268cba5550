// Delegates: binding, equality (with reuse tags), invocation.
#include "infra/function.h"
#include "infra/print.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace Orlix::Infra;

namespace {

int addOne(int x)
{
    return x + 1;
}
int addTwo(int x)
{
    return x + 2;
}

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

} // namespace

TEST(Delegate, EmptyAndNullBindings)
{
    F1 empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.typeName(), nullptr);
    F1 fromNull(static_cast<int (*)(int)>(nullptr));
    EXPECT_TRUE(fromNull.empty());
    EXPECT_TRUE(empty == fromNull);
    EXPECT_FALSE(empty == F1(&addOne));
}

TEST(Delegate, FreeAndMemberBindingsInvoke)
{
    EXPECT_EQ(F1(&addOne)(41), 42);
    Counter c;
    F1 member(&Counter::add, &c);
    EXPECT_EQ(member.kind(), 1u);
    EXPECT_EQ(member(5), 5);
    EXPECT_EQ(member(5), 10);
    const Counter& constRef = c;
    EXPECT_EQ(F1(&Counter::peek, &constRef)(1), 11);
}

TEST(Delegate, ReferenceArgumentsPassThrough)
{
    Counter c;
    TFunction1<void, int&> bump(&Counter::bump, &c);
    int value = 1;
    bump(value);
    EXPECT_EQ(value, 2);
}

TEST(Delegate, VirtualMemberDispatchesOnTheObject)
{
    Derived d;
    F1 viaBase(&Base::name, &d);
    EXPECT_EQ(viaBase(1), 101);
    EXPECT_STREQ(viaBase.typeName(), typeid(Derived*).name());
}

TEST(Delegate, EqualityOfPlainBindings)
{
    Counter a, b;
    EXPECT_TRUE(F1(&addOne) == F1(&addOne));
    EXPECT_FALSE(F1(&addOne) == F1(&addTwo));
    EXPECT_TRUE(F1(&Counter::add, &a) == F1(&Counter::add, &a));
    EXPECT_FALSE(F1(&Counter::add, &a) == F1(&Counter::add, &b));
    EXPECT_FALSE(F1(&Counter::add, &a) == F1(&Counter::peek, &a));
    EXPECT_TRUE(F1(&Counter::add, &a) != F1(&addOne));
}

TEST(Delegate, EqualityOfReuseTags)
{
    Counter a, b;
    const F1 wildcard(&Counter::add, &a, kWildcard);
    const F1 tag20(&Counter::add, &a, 20);
    const F1 tag17(&Counter::add, &a, 17);
    EXPECT_TRUE(wildcard == tag20);
    EXPECT_TRUE(wildcard == tag17);
    EXPECT_TRUE(tag17 == wildcard);
    EXPECT_FALSE(tag20 == tag17);
    EXPECT_TRUE(tag20 == F1(&Counter::add, &a, 20));
    EXPECT_FALSE(wildcard == F1(&Counter::add, &b, 20)); // other object
    EXPECT_FALSE(F1(&Counter::add, &a) == tag20);        // kind 1 vs tagged
    EXPECT_FALSE(F1(&Counter::add, &a) == wildcard);
}

TEST(Delegate, ReuseTagIsPublishedPerThread)
{
    Counter c;
    F1 tagged(&Counter::add, &c, 20);
    tagged(1);
    EXPECT_EQ(c.reuseSeen, 20u);
    EXPECT_EQ(getCurrentFunctionReuse(), 20u);

    F1 plain(&Counter::add, &c);
    plain(1);
    EXPECT_EQ(c.reuseSeen, 20u); // a kind-1 call leaves the value as it was

    unsigned int otherThread = 1;
    std::thread t([&] { otherThread = getCurrentFunctionReuse(); });
    t.join();
    EXPECT_EQ(otherThread, 0u);
}

TEST(Delegate, InvalidKindsPrintAndStillCallMembers)
{
    Counter c;
    F1 wildcard(&Counter::add, &c, kWildcard);
    testing::internal::CaptureStdout();
    EXPECT_EQ(wildcard(3), 3);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "FUNCTION_FUNCTION::operator() invalid function type : 4294967295, typeid : " +
                       std::string(typeid(Counter*).name()) + "\n");
    EXPECT_EQ(c.total, 3);

    F1 empty;
    testing::internal::CaptureStdout();
    EXPECT_EQ(empty(3), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "FUNCTION_FUNCTION::operator() invalid function type : 0, typeid : (null)\n");

    // An unused kind below 16 that holds a member binding is still called; a member binding
    // tagged 0 is empty, and an empty delegate never calls through what it holds.
    F1 unused(&Counter::add, &c, 5);
    testing::internal::CaptureStdout();
    EXPECT_EQ(unused(4), 7);
    testing::internal::GetCapturedStdout();
    F1 taggedEmpty(&Counter::add, &c, 0);
    EXPECT_TRUE(taggedEmpty.empty());
    testing::internal::CaptureStdout();
    EXPECT_EQ(taggedEmpty(100), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "FUNCTION_FUNCTION::operator() invalid function type : 0, typeid : " +
                  std::string(typeid(Counter*).name()) + "\n");
    EXPECT_EQ(c.total, 7);
}

TEST(Delegate, CopiesAreEqualValues)
{
    Counter c;
    F1 original(&Counter::add, &c, 33);
    F1 copy = original;
    EXPECT_TRUE(copy == original);
    EXPECT_EQ(copy.kind(), 33u);
    F1& alias = copy;
    copy = alias; // assignment to itself changes nothing
    EXPECT_TRUE(copy == original);
    F1 assigned;
    assigned = original;
    EXPECT_EQ(assigned(2), 2);
}

TEST(Delegate, OtherArities)
{
    TFunction0<int> zero([]() { return 7; });
    EXPECT_EQ(zero(), 7);
    TFunction3<int, int, int, int> three([](int a, int b, int c) { return a * b + c; });
    EXPECT_EQ(three(3, 4, 5), 17);
    TFunction5<std::string, std::string, int, char, bool, double> five(
        [](std::string s, int n, char ch, bool flag, double d) {
            return s + std::to_string(n) + ch + (flag ? "T" : "F") + std::to_string(int(d));
        });
    EXPECT_EQ(five("x", 1, 'y', true, 2.5), "x1yT2");
}
