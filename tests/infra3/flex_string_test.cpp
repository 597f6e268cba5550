// flex_string and its storage policies, checked against std::string.
//
// The differential suite drives every storage configuration through long seeded sequences of
// random edits and queries next to a std::string and compares them after each step; lengths
// hover around the inline capacity so the representation changes in both directions all
// the time, and positions past the end make both sides throw. The remaining tests pin the
// object layout, the allocation behaviour and what a random walk does not reach.
#include "infra/infra3/flex_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <iterator>
#include <list>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using Orlix::Infra::allocatorstringstorage;
using Orlix::Infra::flex_string;
using Orlix::Infra::flex_string_shell;
using Orlix::Infra::ministringstorage;
using Orlix::Infra::smallstringopt;

// A stateless allocator that counts blocks through process-wide counters.
struct AllocCounters
{
    static inline long allocations = 0;
    static inline long live = 0;
    static inline bool failNext = false; // the next allocation throws std::bad_alloc
};

template <typename T>
struct CountingAlloc
{
    using value_type = T;
    CountingAlloc() = default;
    template <typename U>
    CountingAlloc(const CountingAlloc<U>&) noexcept
    {}
    T* allocate(std::size_t n)
    {
        if (std::exchange(AllocCounters::failNext, false))
            throw std::bad_alloc();
        ++AllocCounters::allocations;
        ++AllocCounters::live;
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n)
    {
        --AllocCounters::live;
        std::allocator<T>().deallocate(p, n);
    }
    friend bool operator==(const CountingAlloc&, const CountingAlloc&) { return true; }
    friend bool operator!=(const CountingAlloc&, const CountingAlloc&) { return false; }
};

using Traits = std::char_traits<char>;
using Alloc = CountingAlloc<char>;
using CountedFlex =
    flex_string_shell<char, Traits, Alloc, smallstringopt<allocatorstringstorage<char, Alloc>>>;
using HeapString = flex_string_shell<char, Traits, Alloc, allocatorstringstorage<char, Alloc>>;
using MiniString = flex_string_shell<char, Traits, Alloc, ministringstorage<char, Alloc>>;
using SmallMiniString =
    flex_string_shell<char, Traits, Alloc, smallstringopt<ministringstorage<char, Alloc>, 15>>;

// Inline capacity of a configuration, 0 when it has no inline representation.
template <typename S>
struct InlineCapacity : std::integral_constant<std::size_t, 0>
{};
template <typename A, typename Storage, std::size_t N>
struct InlineCapacity<flex_string_shell<char, Traits, A, smallstringopt<Storage, N>>>
    : std::integral_constant<std::size_t, N>
{};

// The marker byte: inline capacity minus the length, or capacity + 1 on the heap.
template <typename S>
unsigned char lastByte(const S& s)
{
    unsigned char bytes[sizeof(S)];
    std::memcpy(bytes, static_cast<const void*>(&s), sizeof(S));
    return bytes[InlineCapacity<S>::value];
}

template <typename S>
bool dataIsInsideObject(const S& s)
{
    const auto* first = reinterpret_cast<const char*>(&s);
    return !std::less<const char*>()(s.data(), first) &&
           std::less<const char*>()(s.data(), first + sizeof(S));
}

template <typename X>
std::string toStd(const X& x)
{
    return std::string(x.data(), x.size());
}

// How a call ended: 0 returned, 1 std::out_of_range, 2 std::length_error, 3 anything else.
template <typename F>
int outcomeOf(F&& fn)
{
    try {
        fn();
        return 0;
    } catch (const std::out_of_range&) {
        return 1;
    } catch (const std::length_error&) {
        return 2;
    } catch (...) {
        return 3;
    }
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

// The six relations of x and y, as in "010011".
template <typename X, typename Y>
std::string relations(const X& x, const Y& y)
{
    std::string r;
    for (const bool holds : {(x == y), (x != y), (x < y), (x <= y), (x > y), (x >= y)})
        r += holds ? '1' : '0';
    return r;
}

// The values as one text, for comparing several results at once.
template <typename... V>
std::string list(const V&... values)
{
    return ((std::to_string(values) + " ") + ...);
}

// Applies the same random operations to a pair of S and a pair of std::string. Every
// operation is a generic lambda run on both pairs, so the two sides see identical calls.
template <typename S>
class DifferentialRun
{
public:
    explicit DifferentialRun(unsigned seed) : m_rng(seed), m_seed(seed) {}

    void run(int steps)
    {
        for (m_step = 0; m_step < steps && !::testing::Test::HasFatalFailure(); ++m_step)
            step();
        // The walk must actually take lengths across the inline capacity both ways, and
        // change the representation both ways (heap to inline happens only on
        // shrink_to_fit, moves and swaps, so it is rarer).
        EXPECT_GT(m_lengthUp, steps / 40) << "seed " << m_seed;
        EXPECT_GT(m_lengthDown, steps / 40) << "seed " << m_seed;
        if (kInline != 0) {
            EXPECT_GT(m_toHeap, steps / 200) << "seed " << m_seed;
            EXPECT_GT(m_toInline, steps / 200) << "seed " << m_seed;
        }
    }

private:
    static constexpr std::size_t kInline = InlineCapacity<S>::value;
    // Lengths are drawn around this value: the inline capacity, or 31 without one.
    static constexpr std::size_t kCentre = kInline != 0 ? kInline : 31;

    std::size_t uniform(std::size_t lo, std::size_t hi)
    {
        return std::uniform_int_distribution<std::size_t>(lo, hi)(m_rng);
    }
    bool chance(int percent) { return uniform(1, 100) <= static_cast<std::size_t>(percent); }
    char letter() { return chance(2) ? '\0' : static_cast<char>('a' + uniform(0, 3)); }
    std::string piece()
    {
        const std::size_t n = chance(50) ? uniform(0, 8) : uniform(0, 2 * kCentre + 10);
        std::string p;
        for (std::size_t i = 0; i < n; ++i)
            p.push_back(letter());
        return p;
    }
    // Mostly a valid position in a string of length n, sometimes just past it (which must
    // throw std::out_of_range), sometimes npos.
    std::size_t position(std::size_t n)
    {
        if (chance(5))
            return n + uniform(1, 3);
        return chance(3) ? std::string::npos : uniform(0, n);
    }
    std::size_t count() { return chance(10) ? std::string::npos : uniform(0, kCentre + 8); }
    // A length near the inline capacity, to flip the representation.
    std::size_t boundaryLength() { return kCentre - 6 + uniform(0, 12); }

    template <typename F>
    void mutate(const char* name, F fn)
    {
        const int expected = outcomeOf([&] { fn(m_model, m_model2); });
        ASSERT_EQ(expected, outcomeOf([&] { fn(m_subject, m_subject2); })) << where(name);
        checkSame(name);
    }

    template <typename F>
    void query(const char* name, F fn)
    {
        std::optional<decltype(fn(m_model, m_model2))> expected, actual;
        const int expectedOutcome = outcomeOf([&] { expected = fn(m_model, m_model2); });
        ASSERT_EQ(expectedOutcome, outcomeOf([&] { actual = fn(m_subject, m_subject2); }))
            << where(name);
        ASSERT_EQ(expected, actual) << where(name);
        checkSame(name);
    }

    std::string where(const char* name) const
    {
        return "seed " + std::to_string(m_seed) + " step " + std::to_string(m_step) + " op " + name;
    }

    void checkOne(const S& s, const std::string& model, const char* name)
    {
        ASSERT_EQ(std::string_view(s), std::string_view(model)) << where(name);
        ASSERT_EQ(s.c_str()[s.size()], '\0') << where(name);
        ASSERT_EQ(s.data(), s.c_str()) << where(name);
        ASSERT_GE(s.capacity(), s.size()) << where(name);
        if constexpr (kInline != 0) {
            const unsigned char marker = lastByte(s);
            if (marker != kInline + 1) {
                ASSERT_EQ(marker, kInline - s.size()) << where(name);
                ASSERT_TRUE(dataIsInsideObject(s)) << where(name);
            } else {
                ASSERT_FALSE(dataIsInsideObject(s)) << where(name);
            }
        }
    }

    void checkSame(const char* name)
    {
        checkOne(m_subject, m_model, name);
        checkOne(m_subject2, m_model2, name);
        const bool isLong = m_subject.size() > kCentre;
        m_lengthUp += !m_lastLong && isLong;
        m_lengthDown += m_lastLong && !isLong;
        m_lastLong = isLong;
        const bool isHeap = kInline != 0 && lastByte(m_subject) == kInline + 1;
        m_toHeap += !m_lastHeap && isHeap;
        m_toInline += m_lastHeap && !isHeap;
        m_lastHeap = isHeap;
    }

    void step()
    {
        if (m_model.size() > 4 * kCentre + 40) {
            const std::size_t n = boundaryLength();
            return mutate("truncate", [&](auto& s, auto&) { s.resize(n); });
        }
        // Every random choice is drawn here, before the lambdas run on both sides. [k, k+len)
        // and [first, last) are ranges inside the string.
        const std::string p = piece();
        const std::size_t sz = m_model.size();
        const std::size_t pos = position(sz), pos2 = position(sz), n = count(), n2 = count();
        const std::size_t k = uniform(0, sz), len = uniform(0, sz - k);
        const std::size_t first = uniform(0, sz), last = uniform(first, sz);
        const char c = letter();
        const bool coin = chance(50);
        const std::size_t boundary = boundaryLength();
        const std::list<char> chars(p.begin(), p.end()); // a range of non-pointer iterators
        switch (uniform(0, 25)) {
        case 0:
            return mutate("append", [&](auto& s, auto&) {
                coin ? s.append(std::decay_t<decltype(s)>(p)) : s.append(p.c_str(), p.size());
            });
        case 1:
            return mutate("append n c, push_back, pop_back", [&](auto& s, auto&) {
                if (coin)
                    s.append(n % 40, c);
                else if (!s.empty() && c < 'c')
                    s.pop_back();
                else {
                    s.push_back(c);
                    s += 'z';
                }
            });
        case 2:
            return mutate("self append", [&](auto& s, auto&) {
                coin ? s.append(s) : s.append(s, pos, n);
                s.append(s.data() + k, len);
            });
        case 3:
            return mutate("self append reversed",
                          [&](auto& s, auto&) { s.append(s.rbegin(), s.rend()); });
        case 4:
            return mutate("insert", [&](auto& s, auto&) {
                coin ? s.insert(pos, p.c_str()) : s.insert(pos, n % 40, c);
            });
        case 5:
            return query("insert iter", [&](auto& s, auto&) {
                const auto it = coin ? s.insert(s.begin() + k, c)
                                     : s.insert(s.begin() + k, chars.begin(), chars.end());
                return it - s.begin();
            });
        case 6:
            return mutate("self insert", [&](auto& s, auto&) {
                coin ? s.insert(pos, s) : s.insert(pos, s, pos2, n);
            });
        case 7:
            return mutate("erase", [&](auto& s, auto&) { s.erase(pos, n); });
        case 8:
            return query("erase iter", [&](auto& s, auto&) {
                const auto it = first < sz && coin ? s.erase(s.begin() + first)
                                                   : s.erase(s.begin() + first, s.begin() + last);
                return it - s.begin();
            });
        case 9:
            return mutate("replace", [&](auto& s, auto&) {
                coin ? s.replace(pos, n, p.c_str(), p.size()) : s.replace(pos, n, n2 % 40, c);
            });
        case 10:
            return mutate("self replace", [&](auto& s, auto&) {
                coin ? s.replace(pos, n, s.data() + k, len) : s.replace(pos, n, s, pos2, n2);
            });
        case 11:
            return mutate("replace iter", [&](auto& s, auto&) {
                s.replace(s.begin() + first, s.begin() + last, p.begin(), p.end());
            });
        case 12:
            return mutate("assign", [&](auto& s, auto&) {
                if (c == 'a')
                    s.assign(boundary, c);
                else
                    coin ? (s = p.c_str()) : s.assign(p.data(), p.size());
            });
        case 13:
            return mutate("self assign", [&](auto& s, auto&) {
                coin ? s.assign(s.data() + k, len) : s.assign(s, pos, n);
            });
        case 14:
            return mutate("resize", [&](auto& s, auto&) { s.resize(boundary, c); });
        case 15: {
            const std::size_t want = coin ? boundary : uniform(0, 4 * kCentre + 8);
            return mutate("reserve", [&](auto& s, auto&) {
                s.reserve(want);
                if (s.capacity() < want)
                    throw std::logic_error("reserve did not reserve");
            });
        }
        case 16:
            return mutate("shrink_to_fit", [&](auto& s, auto&) { s.shrink_to_fit(); });
        case 17:
            return mutate("clear", [&](auto& s, auto&) {
                coin ? s.clear() : (void)s.erase(boundary % (s.size() + 1));
            });
        case 18:
            return mutate("swap and move", [&](auto& s, auto& t) {
                using std::swap;
                if (c == 'a')
                    coin ? s.swap(t) : swap(s, t);
                else {
                    std::decay_t<decltype(s)> moved(std::move(s));
                    s = std::move(t);
                    t = std::move(moved);
                }
            });
        case 19:
            return mutate("copy", [&](auto& s, auto& t) {
                using Str = std::decay_t<decltype(s)>;
                if (c == 'a')
                    t = Str(s, pos, n); // substring construction, throws past the end
                else
                    coin ? (void)(t = s) : (void)(s = Str(t));
                s.append(p.c_str());
            });
        case 20: {
            // Write s with a width, read a word and then a line into s and t, from p with
            // spaces and line breaks for some letters.
            std::string text = p;
            std::replace(text.begin(), text.end(), 'a', ' ');
            std::replace(text.begin(), text.end(), 'b', '\n');
            return query("stream", [&](auto& s, auto& t) {
                using std::getline;
                std::ostringstream out;
                out << std::setw(static_cast<int>(n2 % 40)) << std::setfill('.')
                    << (coin ? std::left : std::right) << s;
                std::istringstream in(text);
                in >> std::setw(static_cast<int>(n % 40)) >> t;
                const int afterWord = static_cast<int>(in.rdstate());
                getline(in, s, c); // found by argument-dependent lookup for S
                return out.str() + list(afterWord, in.width(), static_cast<int>(in.rdstate()));
            });
        }
        case 21:
            return queryFind(p, pos);
        case 22:
            return queryCompare(p, pos, pos2, n, n2);
        case 23:
            // Edits at the front written with a literal 0, which is also a null iterator.
            return mutate("at 0", [&](auto& s, auto&) {
                if (c == 'a')
                    s.erase(0);
                else if (c == 'b')
                    coin ? s.insert(0, n % 40, c) : s.insert(0, p.c_str());
                else
                    coin ? s.erase(0, n) : s.replace(0, n, p.c_str(), 0);
            });
        default:
            return querySubstrings(p, pos, n);
        }
    }

    void queryFind(const std::string& p, std::size_t pos)
    {
        const std::size_t len = p.size() == 0 ? 0 : uniform(0, p.size());
        query("find", [&](auto& s, auto& t) {
            return list(s.find(p.c_str(), pos, len), s.find(t, pos), s.find(p[0], pos),
                        s.rfind(p.c_str(), pos, len), s.rfind(t, pos), s.rfind(p.c_str()),
                        s.find_first_of(p.c_str(), pos, len), s.find_first_of(t, pos),
                        s.find_last_of(p.c_str(), pos, len), s.find_last_of(p[0], pos),
                        s.find_first_not_of(p.c_str(), pos), s.find_first_not_of(t, pos),
                        s.find_last_not_of(p.c_str(), pos, len), s.find_last_not_of(p[0]));
        });
    }

    // Comparisons with the same type, C strings, std::string and std::string_view, both
    // ways round; on the model side they are all std::string's own.
    void queryCompare(const std::string& p, std::size_t pos, std::size_t pos2, std::size_t n,
                      std::size_t n2)
    {
        const char* q = p.c_str();
        const std::string_view v(p);
        query("compare", [&](auto& s, auto& t) {
            return relations(s, t) + relations(s, q) + relations(q, s) + relations(s, p) +
                   relations(p, s) + relations(s, v) + relations(v, s);
        });
        query("compare pos", [&](auto& s, auto& t) {
            return list(sign(s.compare(t)), sign(s.compare(q)), sign(s.compare(pos, n, t)),
                        sign(s.compare(pos, n, q)), sign(s.compare(pos, n, t, pos2, n2)),
                        sign(s.compare(pos, n, q, n2 % (p.size() + 1))));
        });
    }

    void querySubstrings(const std::string& p, std::size_t pos, std::size_t n)
    {
        query("substr", [&](auto& s, auto&) { return toStd(s.substr(pos, n)); });
        query("copy out", [&](auto& s, auto&) {
            char buf[256];
            const std::size_t copied = s.copy(buf, n == std::string::npos ? sizeof(buf) : n, pos);
            return std::string(buf, copied);
        });
        query("at and hash", [&](auto& s, auto&) {
            const auto hash = std::hash<std::decay_t<decltype(s)>>()(s);
            return std::make_pair(hash, std::as_const(s).at(pos == std::string::npos ? 0 : pos));
        });
        query("concat", [&](auto& s, auto& t) {
            using Str = std::decay_t<decltype(s)>;
            return toStd(s + t + p.c_str() + 'x') + "|" + toStd(p.c_str() + s) + "|" +
                   toStd('y' + (t + 'w')) + "|" + toStd(Str(s) + Str(t)) + "|" + toStd(s + Str(p));
        });
        // With a std::string on either side (on the model side both are std::string).
        query("concat std::string", [&](auto& s, auto& t) {
            using Str = std::decay_t<decltype(s)>;
            return toStd(s + p) + "|" + toStd(p + s) + "|" + toStd(Str(t) + p) + "|" +
                   toStd(std::string(p) + t);
        });
    }

    std::mt19937 m_rng;
    unsigned m_seed;
    int m_step = 0;
    std::string m_model, m_model2;
    S m_subject, m_subject2;
    bool m_lastHeap = false, m_lastLong = false;
    int m_lengthUp = 0, m_lengthDown = 0, m_toHeap = 0, m_toInline = 0;
};

template <typename S>
class FlexStringDifferential : public ::testing::Test
{};
using Configurations =
    ::testing::Types<flex_string, CountedFlex, HeapString, MiniString, SmallMiniString>;
struct ConfigurationNames
{
    template <typename S>
    static std::string GetName(int index)
    {
        return std::vector<std::string>{"FlexString", "CountedFlex", "HeapOnly", "Mini",
                                        "SmallMini15"}[static_cast<std::size_t>(index)];
    }
};
TYPED_TEST_SUITE(FlexStringDifferential, Configurations, ConfigurationNames);

TYPED_TEST(FlexStringDifferential, RandomOperationsMatchStdString)
{
    const long liveBefore = AllocCounters::live;
    for (unsigned seed : {1u, 7u, 42u, 2024u, 90001u}) {
        DifferentialRun<TypeParam>(seed).run(4000);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    EXPECT_EQ(AllocCounters::live, liveBefore) << "a block leaked";
}

// --- Overload sets ---------------------------------------------------------------------------
//
// Every member overload set of std::string, called with the arguments that make overloads
// compete: a literal 0 (also a null pointer constant, and so a null iterator for a string
// whose iterators are pointers), 0L, NULL, nullptr, a char, a size and the string's own
// iterators. A call that compiles for std::string must compile for S and, where it is
// defined, do the same to "abcdef" with the same result; a call std::string refuses because
// its iterators take no integer must be refused by S too, rather than take 0 as an iterator.

// The arguments a call may use besides the string s.
struct CallArgs
{
    std::size_t n = 2;
    char c = 'x';
    const char* p = "cd";
    std::string_view v = "vw";
    char* w = nullptr; // a buffer of 8 for copy()
};

template <typename Str, typename F>
constexpr bool accepts(F)
{
    return std::is_invocable<F, Str&, const CallArgs&>::value;
}

// A call's result in the same words for both strings: text for a string, an offset for an
// iterator, the sign of compare(), the value of anything else.
template <typename Str, typename R>
std::string resultText(const Str& s, const R& r)
{
    if constexpr (std::is_same<R, Str>::value)
        return '"' + toStd(r) + '"';
    else if constexpr (std::is_same<R, typename Str::iterator>::value ||
                       std::is_same<R, typename Str::const_iterator>::value)
        return "@" + std::to_string(r - s.cbegin());
    else if constexpr (std::is_same<R, int>::value)
        return std::to_string(sign(r));
    else
        return std::to_string(r);
}

template <typename S, typename F>
void expectSameEffect(F call, const char* text)
{
    if constexpr (accepts<std::string>(call)) {
        char modelOut[8] = {}, subjectOut[8] = {};
        CallArgs modelArgs, subjectArgs;
        modelArgs.w = modelOut;
        subjectArgs.w = subjectOut;
        std::string model = "abcdef";
        S subject("abcdef");
        if constexpr (std::is_void<decltype(call(model, modelArgs))>::value) {
            call(model, modelArgs);
            call(subject, subjectArgs);
        } else {
            const std::string expected = resultText(model, call(model, modelArgs));
            EXPECT_EQ(expected, resultText(subject, call(subject, subjectArgs))) << text;
        }
        EXPECT_EQ(model, toStd(subject)) << text;
        EXPECT_EQ(std::string(modelOut), std::string(subjectOut)) << text;
    }
}

// A call written in terms of s and the CallArgs a; the lambda is invocable exactly when the
// call compiles for that string type.
#define ORLIX_CALL(...)                                                                            \
    []([[maybe_unused]] auto& s, [[maybe_unused]] const CallArgs& a) -> decltype(__VA_ARGS__) {    \
        return __VA_ARGS__;                                                                        \
    }
// Where std::string takes the call, S takes it ...
#define EXPECT_COMPILES_LIKE_STD(...)                                                              \
    static_assert(!accepts<std::string>(ORLIX_CALL(__VA_ARGS__)) ||                                \
                      accepts<S>(ORLIX_CALL(__VA_ARGS__)),                                         \
                  #__VA_ARGS__)
// ... and has the same effect and result.
#define EXPECT_SAME_AS_STD(...)                                                                    \
    EXPECT_COMPILES_LIKE_STD(__VA_ARGS__);                                                         \
    expectSameEffect<S>(ORLIX_CALL(__VA_ARGS__), #__VA_ARGS__)
// Where std::string refuses the call, S refuses it.
#define EXPECT_REFUSED_LIKE_STD(...)                                                               \
    static_assert(accepts<std::string>(ORLIX_CALL(__VA_ARGS__)) ||                                 \
                      !accepts<S>(ORLIX_CALL(__VA_ARGS__)),                                        \
                  #__VA_ARGS__)

// The string type of the call, for constructors.
#define STR std::decay_t<decltype(s)>

template <typename S>
void expectOverloadSetsOfStdString()
{
    // erase
    EXPECT_SAME_AS_STD(s.erase());
    EXPECT_SAME_AS_STD(s.erase(0));
    EXPECT_SAME_AS_STD(s.erase(0L));
    EXPECT_SAME_AS_STD(s.erase(0u));
    EXPECT_COMPILES_LIKE_STD(s.erase(NULL));
    EXPECT_REFUSED_LIKE_STD(s.erase(nullptr));
    EXPECT_SAME_AS_STD(s.erase(0, 0));
    EXPECT_SAME_AS_STD(s.erase(0, a.n));
    EXPECT_SAME_AS_STD(s.erase(a.n, 0));
    EXPECT_SAME_AS_STD(s.erase('\1'));
    EXPECT_SAME_AS_STD(s.erase(s.begin()));
    EXPECT_SAME_AS_STD(s.erase(s.cbegin() + 1));
    EXPECT_SAME_AS_STD(s.erase(s.begin(), s.cend() - 1));
    EXPECT_REFUSED_LIKE_STD(s.erase(s.begin(), 0));
    EXPECT_REFUSED_LIKE_STD(s.erase(0, s.end()));

    // insert at a position or an iterator
    EXPECT_SAME_AS_STD(s.insert(0, 0, a.c));
    EXPECT_SAME_AS_STD(s.insert(0, a.n, a.c));
    EXPECT_SAME_AS_STD(s.insert(0, 3, 'y'));
    EXPECT_SAME_AS_STD(s.insert(0L, 1, '\0'));
    EXPECT_COMPILES_LIKE_STD(s.insert(NULL, 2, a.c));
    EXPECT_REFUSED_LIKE_STD(s.insert(0, a.c));
    EXPECT_REFUSED_LIKE_STD(s.insert(0, 'y'));
    EXPECT_COMPILES_LIKE_STD(s.insert(0, 0));
    EXPECT_SAME_AS_STD(s.insert(0, a.p));
    EXPECT_SAME_AS_STD(s.insert(0, a.p, 0));
    EXPECT_SAME_AS_STD(s.insert(0, a.p, 1));
    EXPECT_SAME_AS_STD(s.insert(0, s));
    EXPECT_SAME_AS_STD(s.insert(0, s, 0));
    EXPECT_SAME_AS_STD(s.insert(0, s, 0, 0));
    EXPECT_SAME_AS_STD(s.insert(a.n, s, 1, a.n));
    EXPECT_SAME_AS_STD(s.insert(0, a.v));
    EXPECT_SAME_AS_STD(s.insert(0, a.v, 0, 1));
    EXPECT_SAME_AS_STD(s.insert(0, {'y', 'z'}));
    EXPECT_SAME_AS_STD(s.insert(s.begin(), a.c));
    EXPECT_SAME_AS_STD(s.insert(s.cbegin(), 0));
    EXPECT_SAME_AS_STD(s.insert(s.begin() + 1, 0, a.c));
    EXPECT_SAME_AS_STD(s.insert(s.end(), a.n, 'y'));
    EXPECT_SAME_AS_STD(s.insert(s.begin(), a.p, a.p + 2));
    EXPECT_SAME_AS_STD(s.insert(s.cend(), {'y'}));
    EXPECT_REFUSED_LIKE_STD(s.insert(nullptr, a.c));

    // replace
    EXPECT_SAME_AS_STD(s.replace(0, 0, a.p));
    EXPECT_SAME_AS_STD(s.replace(0, 0, a.p, 0));
    EXPECT_SAME_AS_STD(s.replace(0, 1, a.p, a.n));
    EXPECT_SAME_AS_STD(s.replace(0, 0, 0, a.c));
    EXPECT_SAME_AS_STD(s.replace(0, 2, a.n, 'y'));
    EXPECT_SAME_AS_STD(s.replace(0, 1, 2, 'y'));
    EXPECT_SAME_AS_STD(s.replace(0, a.n, s));
    EXPECT_SAME_AS_STD(s.replace(0, 0, s, 0));
    EXPECT_SAME_AS_STD(s.replace(0, 0, s, 0, 0));
    EXPECT_SAME_AS_STD(s.replace(0, 0, a.v));
    EXPECT_SAME_AS_STD(s.replace(0, 0, a.v, 0, 1));
    EXPECT_COMPILES_LIKE_STD(s.replace(0, 0, 0));
    EXPECT_REFUSED_LIKE_STD(s.replace(0, 0, 0, 0));
    EXPECT_SAME_AS_STD(s.replace(s.begin(), s.end(), a.p));
    EXPECT_SAME_AS_STD(s.replace(s.begin(), s.cend(), 0, a.c));
    EXPECT_SAME_AS_STD(s.replace(s.cbegin(), s.begin() + 2, a.p, 0));
    EXPECT_SAME_AS_STD(s.replace(s.begin(), s.begin(), a.p, a.p + 1));
    EXPECT_SAME_AS_STD(s.replace(s.begin(), s.begin() + 1, {'y'}));
    EXPECT_SAME_AS_STD(s.replace(s.begin(), s.end(), s));
    EXPECT_SAME_AS_STD(s.replace(s.begin(), s.end(), a.v));
    EXPECT_REFUSED_LIKE_STD(s.replace(s.begin(), 0, a.p));
    EXPECT_REFUSED_LIKE_STD(s.replace(0, s.end(), a.p));

    // append, assign, +=, =, push_back
    EXPECT_SAME_AS_STD(s.append(0, a.c));
    EXPECT_SAME_AS_STD(s.append(a.n, 'y'));
    EXPECT_SAME_AS_STD(s.append(a.p, 0));
    EXPECT_SAME_AS_STD(s.append(a.p, a.n));
    EXPECT_SAME_AS_STD(s.append(s, 0));
    EXPECT_SAME_AS_STD(s.append(s, 0, 0));
    EXPECT_SAME_AS_STD(s.append(a.v, 0, 1));
    EXPECT_SAME_AS_STD(s.append(a.p, a.p + 1));
    EXPECT_SAME_AS_STD(s.append({'y'}));
    EXPECT_COMPILES_LIKE_STD(s.append(0));
    EXPECT_REFUSED_LIKE_STD(s.append(0, 0));
    EXPECT_SAME_AS_STD(s.assign(0, a.c));
    EXPECT_SAME_AS_STD(s.assign(3, 'y'));
    EXPECT_SAME_AS_STD(s.assign(a.p, 0));
    EXPECT_SAME_AS_STD(s.assign(s, 0));
    EXPECT_SAME_AS_STD(s.assign(s, 0, 0));
    EXPECT_SAME_AS_STD(s.assign(a.v, 0, 1));
    EXPECT_SAME_AS_STD(s.assign(a.p, a.p + 1));
    EXPECT_COMPILES_LIKE_STD(s.assign(0));
    EXPECT_REFUSED_LIKE_STD(s.assign(0, 0));
    EXPECT_SAME_AS_STD(s += a.c);
    EXPECT_SAME_AS_STD(s += 'y');
    EXPECT_SAME_AS_STD(s += a.p);
    EXPECT_SAME_AS_STD(s += a.v);
    EXPECT_SAME_AS_STD(s += {'y'});
    EXPECT_REFUSED_LIKE_STD(s += 0);
    EXPECT_SAME_AS_STD(s = a.c);
    EXPECT_SAME_AS_STD(s = 'y');
    EXPECT_SAME_AS_STD(s = a.v);
    EXPECT_REFUSED_LIKE_STD(s = 0);
    EXPECT_REFUSED_LIKE_STD(s = nullptr);
    EXPECT_SAME_AS_STD(s.push_back(0));

    // compare
    EXPECT_SAME_AS_STD(s.compare(a.p));
    EXPECT_SAME_AS_STD(s.compare(0, 0, s));
    EXPECT_SAME_AS_STD(s.compare(0, a.n, a.p));
    EXPECT_SAME_AS_STD(s.compare(0, 0, a.p, 0));
    EXPECT_SAME_AS_STD(s.compare(0, 1, s, 0));
    EXPECT_SAME_AS_STD(s.compare(0, 0, s, 0, 0));
    EXPECT_SAME_AS_STD(s.compare(0, 2, a.v, 0, 1));
    EXPECT_COMPILES_LIKE_STD(s.compare(0));
    EXPECT_COMPILES_LIKE_STD(s.compare(0, 0, 0));

    // searches
    EXPECT_SAME_AS_STD(s.find(a.c));
    EXPECT_SAME_AS_STD(s.find('c', 0));
    EXPECT_SAME_AS_STD(s.find(a.p, 0));
    EXPECT_SAME_AS_STD(s.find(a.p, 0, 0));
    EXPECT_SAME_AS_STD(s.find(s, 0));
    EXPECT_SAME_AS_STD(s.find(a.v, 0));
    EXPECT_REFUSED_LIKE_STD(s.find(0));
    EXPECT_REFUSED_LIKE_STD(s.find(0, 0));
    EXPECT_SAME_AS_STD(s.rfind('c', 0));
    EXPECT_SAME_AS_STD(s.rfind(a.p, 0, 1));
    EXPECT_REFUSED_LIKE_STD(s.rfind(0));
    EXPECT_SAME_AS_STD(s.find_first_of('c', 0));
    EXPECT_SAME_AS_STD(s.find_first_of(a.p, 0, 1));
    EXPECT_REFUSED_LIKE_STD(s.find_first_of(0));
    EXPECT_SAME_AS_STD(s.find_last_of(a.c, 0));
    EXPECT_SAME_AS_STD(s.find_last_of(a.p, 0));
    EXPECT_SAME_AS_STD(s.find_first_not_of('a', 0));
    EXPECT_SAME_AS_STD(s.find_first_not_of(s, 0));
    EXPECT_SAME_AS_STD(s.find_last_not_of(a.p, a.n, 0));
    EXPECT_REFUSED_LIKE_STD(s.find_last_not_of(0, 0));

    // element access, capacity, substrings, copying out
    EXPECT_SAME_AS_STD(s.at(0));
    EXPECT_SAME_AS_STD(s[0]);
    EXPECT_SAME_AS_STD(s.substr());
    EXPECT_SAME_AS_STD(s.substr(0));
    EXPECT_SAME_AS_STD(s.substr(0, 0));
    EXPECT_SAME_AS_STD(s.substr(a.n, 0));
    EXPECT_SAME_AS_STD(s.copy(a.w, 0));
    EXPECT_SAME_AS_STD(s.copy(a.w, 3, 0));
    EXPECT_SAME_AS_STD(s.copy(a.w, a.n, a.n));
    EXPECT_SAME_AS_STD(s.resize(0));
    EXPECT_SAME_AS_STD(s.resize(0, a.c));
    EXPECT_SAME_AS_STD(s.resize(8, 0));
    EXPECT_SAME_AS_STD(s.reserve(0));

    // constructors
    EXPECT_SAME_AS_STD(STR(0, a.c));
    EXPECT_SAME_AS_STD(STR(3, 'y'));
    EXPECT_SAME_AS_STD(STR(a.n, 0));
    EXPECT_SAME_AS_STD(STR(a.p, 0));
    EXPECT_SAME_AS_STD(STR(a.p, 1));
    EXPECT_SAME_AS_STD(STR(s, 0));
    EXPECT_SAME_AS_STD(STR(s, 0, 0));
    EXPECT_SAME_AS_STD(STR(s, 1, a.n));
    EXPECT_SAME_AS_STD(STR(a.v));
    EXPECT_SAME_AS_STD(STR(a.v, 0, 1));
    EXPECT_SAME_AS_STD(STR(a.p, a.p + 2));
    EXPECT_SAME_AS_STD(STR({'y', 'z'}));
    EXPECT_COMPILES_LIKE_STD(STR(0, 0));
    EXPECT_COMPILES_LIKE_STD(STR(0));
    EXPECT_REFUSED_LIKE_STD(STR(nullptr, 0));

    // non-member operators with a char or a C string
    EXPECT_SAME_AS_STD(s + a.c);
    EXPECT_SAME_AS_STD(a.c + s);
    EXPECT_SAME_AS_STD(s + a.p);
    EXPECT_SAME_AS_STD(a.p + s);
    EXPECT_SAME_AS_STD(s == a.p);
    EXPECT_SAME_AS_STD(a.p < s);
    EXPECT_REFUSED_LIKE_STD(s + 0);
    EXPECT_REFUSED_LIKE_STD(s == 0);
    EXPECT_REFUSED_LIKE_STD(0 != s);
}

TEST(FlexStringOverloads, EveryCallStdStringTakesCompilesAndBehavesAlike)
{
    expectOverloadSetsOfStdString<flex_string>();
    expectOverloadSetsOfStdString<MiniString>();
}

// --- Layout and allocation ------------------------------------------------------------------

TEST(FlexStringLayout, ThirtyOneCharactersInlineWithoutAllocatingThenTheHeapAndBack)
{
    const long before = AllocCounters::allocations;
    for (std::size_t len = 0; len <= 31; ++len) {
        const CountedFlex s(len, 'q');
        EXPECT_EQ(lastByte(s), 31 - len) << "length " << len;
        EXPECT_EQ(s.data(), reinterpret_cast<const char*>(&s)) << "length " << len;
    }
    CountedFlex s(31, 'q');
    CountedFlex copy = s;
    copy.swap(s);
    EXPECT_EQ(AllocCounters::allocations, before);
    s.push_back('q');
    EXPECT_EQ(AllocCounters::allocations, before + 1);
    EXPECT_EQ(lastByte(s), 32);
    EXPECT_FALSE(dataIsInsideObject(s));
    s.erase(5);
    EXPECT_EQ(lastByte(s), 32) << "shrinking keeps the heap block, like std::string";
    EXPECT_GE(s.capacity(), 32u);
    s.shrink_to_fit();
    EXPECT_EQ(lastByte(s), 26);
    EXPECT_EQ(s, "qqqqq");
}

TEST(FlexStringLayout, MiniStorageIsOnePointerAndEmptyAllocatesNothing)
{
    static_assert(sizeof(MiniString) == sizeof(void*), "layout");
    static_assert(sizeof(HeapString) == sizeof(void*), "layout");
    const long before = AllocCounters::allocations;
    {
        MiniString empty, fromEmpty("");
        MiniString copy(empty);
        HeapString heapEmpty;
        heapEmpty.assign(copy.data(), copy.size());
        EXPECT_EQ(empty.c_str()[0], '\0');
        EXPECT_EQ(heapEmpty.c_str()[0], '\0');
        EXPECT_EQ(empty.capacity(), 0u);
    }
    EXPECT_EQ(AllocCounters::allocations, before);

    const long liveBefore = AllocCounters::live;
    MiniString s("not empty");
    EXPECT_EQ(AllocCounters::live, liveBefore + 1);
    s.clear();
    s.shrink_to_fit();
    EXPECT_EQ(AllocCounters::live, liveBefore) << "an emptied, shrunk string holds no block";
    EXPECT_LT(s.max_size(), std::size_t{1} << 32) << "32-bit header";
}

// Every growing operation, started from an inline and from a heap string, must leave the
// string untouched when its allocation fails.
template <typename S>
void expectStrongGuarantee()
{
    const std::string big(200, 'B');
    for (const char* start : {"short", "a string that is long enough for the heap"}) {
        // op(s, other), one operation that has to allocate, meets a failing allocator after
        // s was resized to prepare characters (unless 0).
        const auto attempt = [&](const char* name, std::size_t prepare, auto op) {
            S s(start);
            S other(big);
            if (prepare != 0)
                s.resize(prepare, 's');
            const std::string before = toStd(s);
            AllocCounters::failNext = true;
            EXPECT_THROW(op(s, other), std::bad_alloc) << name << " from \"" << start << '"';
            AllocCounters::failNext = false;
            EXPECT_EQ(toStd(s), before) << name << " from \"" << start << '"';
            EXPECT_EQ(s.c_str()[s.size()], '\0') << name;
        };
        attempt("append", 0, [&](S& s, S&) { s.append(big.size(), 'x'); });
        attempt("append self", 60, [](S& s, S&) { s.append(s); });
        attempt("insert", 0, [&](S& s, S&) { s.insert(1, big.c_str()); });
        attempt("insert self", 60, [](S& s, S&) { s.insert(3, s); });
        attempt("replace", 0, [&](S& s, S&) { s.replace(1, 2, big.size(), 'z'); });
        attempt("assign", 0, [&](S& s, S&) { s.assign(big.c_str()); });
        attempt("assign n c", 0, [&](S& s, S&) { s.assign(big.size(), 'w'); });
        attempt("copy assign", 0, [](S& s, S& other) { s = other; });
        attempt("resize", 0, [&](S& s, S&) { s.resize(big.size()); });
        attempt("reserve", 0, [&](S& s, S&) { s.reserve(big.size()); });
        attempt("input range", 0, [&](S& s, S&) {
            std::istringstream in(big);
            s.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        });
    }
}

TEST(FlexStringExceptionSafety, FailedAllocationsLeaveTheStringUnchanged)
{
    const long liveBefore = AllocCounters::live;
    expectStrongGuarantee<CountedFlex>();
    expectStrongGuarantee<SmallMiniString>();
    expectStrongGuarantee<MiniString>();
    expectStrongGuarantee<HeapString>();
    EXPECT_EQ(AllocCounters::live, liveBefore);
}

// --- What the random walk does not reach ------------------------------------------------------

TEST(FlexStringBounds, LengthsPastMaxSizeThrowLengthError)
{
    flex_string s("abc");
    EXPECT_THROW(s.reserve(s.max_size() + 1), std::length_error);
    EXPECT_THROW(s.append(s.max_size(), 'x'), std::length_error);
    EXPECT_THROW(s.resize(s.max_size() + 1), std::length_error);
    MiniString m("abc");
    EXPECT_THROW(m.resize(m.max_size() + 1), std::length_error);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(m, "abc");
}

TEST(FlexStringInterop, ConversionsAndEmbeddedNuls)
{
    const std::string withNul("ab\0cd", 5);
    const flex_string s = withNul;
    EXPECT_EQ(s.size(), 5u);
    EXPECT_EQ(s.str(), withNul);
    const std::string_view v = s;
    EXPECT_EQ(v, std::string_view(withNul));
    EXPECT_NE(s, "ab") << "comparison with a C string stops at its NUL, not ours";
    EXPECT_EQ(flex_string(std::string_view("view")), "view");
    EXPECT_EQ(flex_string(std::string_view("a view"), 2, 3), "vie");
    EXPECT_THROW(flex_string(std::string_view("view"), 5, 1), std::out_of_range);
    // Joined with a std::string, the result takes the left operand's type.
    const std::string tail = "-tail";
    static_assert(std::is_same<decltype(s + tail), flex_string>::value, "flex + std");
    static_assert(std::is_same<decltype(tail + s), std::string>::value, "std + flex");
    EXPECT_EQ(s + tail, withNul + tail);
    EXPECT_EQ(tail + s, tail + withNul);
    EXPECT_EQ(flex_string({'x', 'y'}), "xy");
    std::istringstream in("streamed");
    flex_string fromInput{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const flex_string moved = std::move(fromInput);
    EXPECT_EQ(moved, "streamed");
    EXPECT_TRUE(fromInput.empty()) << "moving leaves the source empty";
    flex_string line;
    getline(std::istringstream("first\nsecond"), line); // a temporary stream
    EXPECT_EQ(line, "first");
}

TEST(FlexStringWide, WideCharactersUseTheSameMachinery)
{
    using WideString = flex_string_shell<wchar_t>;
    WideString w(L"wide");
    for (int i = 0; i < 10; ++i)
        w += L" wide";
    EXPECT_EQ(w.size(), 54u);
    EXPECT_EQ(w.find(L"wide", 1), 5u);
    w.shrink_to_fit();
    w.erase(4);
    w.shrink_to_fit();
    EXPECT_EQ(w, L"wide");
    EXPECT_EQ(w.c_str()[4], L'\0');
}

} // namespace
