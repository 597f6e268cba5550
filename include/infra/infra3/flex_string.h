/// @file
/// flex_string: Orlix's string type. It behaves like std::string (same members, same
/// semantics, same exceptions) but its representation is chosen by a storage policy, and the
/// default one is tuned for the short strings that dominate keys, names and tokens.
///
///     Orlix::Infra::flex_string name = "sensor-12";   // inline, no allocation
///     name += "/temperature/celsius/average";          // 37 characters: moves to the heap
///     std::string_view v = name;                       // implicit, no copy
///
/// Layout of flex_string (fixed; code may rely on it): sizeof(flex_string) == 32. Strings of
/// up to 31 characters are stored inline in bytes 0..30, NUL-terminated, and byte 31 holds
/// 31 - length (so a 31-character string's byte 31 is 0 and is its terminator). Longer strings
/// live in one heap block; bytes 0..7 then hold the pointer to it and byte 31 holds 32. The
/// block carries its length and capacity ahead of the characters. Growing past 31 characters
/// moves a string to the heap; it stays there (keeping its capacity, as std::string does)
/// until shrink_to_fit(), which brings a string of at most 31 characters back inline. A
/// copy-constructed string of at most 31 characters is always inline, wherever its source
/// lives.
///
/// Other configurations are built from the same parts (see detail/):
///  - `flex_string_shell<E, T, A, Storage>`: the std::basic_string interface over a policy;
///  - `smallstringopt<Storage, Threshold>`: inline-first wrapper around a heap policy;
///  - `allocatorstringstorage<E, A>`: one pointer to a block; empty needs no allocation;
///  - `ministringstorage<E, A>`: exactly one pointer, empty is null; for records holding many
///    mostly-empty strings.
///
/// Thread safety: a value type. Like std::string, distinct objects may be used from
/// different threads freely; one object may be read from several threads at once, but any
/// modification needs exclusive access. The only state shared between objects is the
/// static empty block of allocatorstringstorage, which is never written.
///
/// Failure: as std::string. Positions past the end throw std::out_of_range (at(), substr(),
/// and the position-taking forms of insert, erase, replace, compare, copy); lengths past
/// max_size() throw std::length_error; allocation failure propagates from the allocator
/// (std::bad_alloc). A throwing operation leaves the string unchanged. Nothing else throws.
#ifndef ORLIX_INFRA_INFRA3_FLEX_STRING_H
#define ORLIX_INFRA_INFRA3_FLEX_STRING_H

#include "infra/infra3/detail/allocatorstringstorage.h"
#include "infra/infra3/detail/flex_string_shell.h"
#include "infra/infra3/detail/ministringstorage.h"
#include "infra/infra3/detail/smallstringopt.h"

#include <cstddef>
#include <functional>
#include <istream>
#include <locale>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace Orlix {
namespace Infra {

/// The library's string type: flex_string_shell with strings of up to 31 characters inline and
/// longer ones in allocatorstringstorage; 32 bytes (see flex_string.h).
using flex_string = flex_string_shell<char, std::char_traits<char>, std::allocator<char>,
                                      smallstringopt<allocatorstringstorage<char>, 31>>;

static_assert(sizeof(flex_string) == 32, "flex_string's layout is part of its contract");

/// @name Concatenation
/// @{

/// A new string holding lhs followed by rhs. Either side may be a string, a C string or one
/// character. An rvalue string operand's buffer is reused for the result (the left one
/// when both are).
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(const flex_string_shell<E, T, A, S>& lhs,
                                        const flex_string_shell<E, T, A, S>& rhs)
{
    flex_string_shell<E, T, A, S> result;
    result.reserve(lhs.size() + rhs.size());
    result.append(lhs).append(rhs);
    return result;
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(flex_string_shell<E, T, A, S>&& lhs,
                                        const flex_string_shell<E, T, A, S>& rhs)
{
    return std::move(lhs.append(rhs));
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(const flex_string_shell<E, T, A, S>& lhs,
                                        flex_string_shell<E, T, A, S>&& rhs)
{
    return std::move(rhs.insert(0, lhs));
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(flex_string_shell<E, T, A, S>&& lhs,
                                        flex_string_shell<E, T, A, S>&& rhs)
{
    return std::move(lhs.append(rhs));
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(const E* lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    const std::size_t n = T::length(lhs);
    flex_string_shell<E, T, A, S> result;
    result.reserve(n + rhs.size());
    result.append(lhs, n).append(rhs);
    return result;
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(const E* lhs, flex_string_shell<E, T, A, S>&& rhs)
{
    return std::move(rhs.insert(0, lhs));
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(E lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    flex_string_shell<E, T, A, S> result;
    result.reserve(1 + rhs.size());
    result.push_back(lhs);
    result.append(rhs);
    return result;
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(E lhs, flex_string_shell<E, T, A, S>&& rhs)
{
    return std::move(rhs.insert(std::size_t{0}, std::size_t{1}, lhs));
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(const flex_string_shell<E, T, A, S>& lhs, const E* rhs)
{
    const std::size_t n = T::length(rhs);
    flex_string_shell<E, T, A, S> result;
    result.reserve(lhs.size() + n);
    result.append(lhs).append(rhs, n);
    return result;
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(flex_string_shell<E, T, A, S>&& lhs, const E* rhs)
{
    return std::move(lhs.append(rhs));
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(const flex_string_shell<E, T, A, S>& lhs, E rhs)
{
    flex_string_shell<E, T, A, S> result;
    result.reserve(lhs.size() + 1);
    result.append(lhs).push_back(rhs);
    return result;
}
template <typename E, typename T, typename A, typename S>
flex_string_shell<E, T, A, S> operator+(flex_string_shell<E, T, A, S>&& lhs, E rhs)
{
    lhs.push_back(rhs);
    return std::move(lhs);
}
/// @}

/// @name Concatenation with std::basic_string
/// @{

/// A string and a std::basic_string (of any allocator) joined, either way round. The result
/// has the left operand's type, as if the right operand were appended to a copy of the left,
/// so `flex + std` is a flex_string and `std + flex` a std::basic_string. An rvalue left
/// operand's buffer is reused.
template <typename E, typename T, typename A, typename S, typename A2>
flex_string_shell<E, T, A, S> operator+(const flex_string_shell<E, T, A, S>& lhs,
                                        const std::basic_string<E, T, A2>& rhs)
{
    flex_string_shell<E, T, A, S> result;
    result.reserve(lhs.size() + rhs.size());
    result.append(lhs).append(rhs.data(), rhs.size());
    return result;
}
template <typename E, typename T, typename A, typename S, typename A2>
flex_string_shell<E, T, A, S> operator+(flex_string_shell<E, T, A, S>&& lhs,
                                        const std::basic_string<E, T, A2>& rhs)
{
    return std::move(lhs.append(rhs.data(), rhs.size()));
}
template <typename E, typename T, typename A, typename S, typename A2>
std::basic_string<E, T, A2> operator+(const std::basic_string<E, T, A2>& lhs,
                                      const flex_string_shell<E, T, A, S>& rhs)
{
    std::basic_string<E, T, A2> result(lhs.get_allocator());
    result.reserve(lhs.size() + rhs.size());
    result.append(lhs).append(rhs.data(), rhs.size());
    return result;
}
template <typename E, typename T, typename A, typename S, typename A2>
std::basic_string<E, T, A2> operator+(std::basic_string<E, T, A2>&& lhs,
                                      const flex_string_shell<E, T, A, S>& rhs)
{
    return std::move(lhs.append(rhs.data(), rhs.size()));
}
/// @}

/// @name Relational operators
/// @{

/// Compares lhs with rhs lexicographically. The operands are two strings, or a string and a C
/// string; characters compare by traits_type, then the shorter string orders first, as
/// std::basic_string's operators do.
template <typename E, typename T, typename A, typename S>
bool operator==(const flex_string_shell<E, T, A, S>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return lhs.size() == rhs.size() && T::compare(lhs.data(), rhs.data(), lhs.size()) == 0;
}
template <typename E, typename T, typename A, typename S>
bool operator==(const flex_string_shell<E, T, A, S>& lhs, const E* rhs)
{
    return lhs.compare(rhs) == 0;
}
template <typename E, typename T, typename A, typename S>
bool operator==(const E* lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    return rhs.compare(lhs) == 0;
}
template <typename E, typename T, typename A, typename S>
bool operator!=(const flex_string_shell<E, T, A, S>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return !(lhs == rhs);
}
template <typename E, typename T, typename A, typename S>
bool operator!=(const flex_string_shell<E, T, A, S>& lhs, const E* rhs)
{
    return !(lhs == rhs);
}
template <typename E, typename T, typename A, typename S>
bool operator!=(const E* lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    return !(lhs == rhs);
}
template <typename E, typename T, typename A, typename S>
bool operator<(const flex_string_shell<E, T, A, S>& lhs,
               const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return lhs.compare(rhs) < 0;
}
template <typename E, typename T, typename A, typename S>
bool operator<(const flex_string_shell<E, T, A, S>& lhs, const E* rhs)
{
    return lhs.compare(rhs) < 0;
}
template <typename E, typename T, typename A, typename S>
bool operator<(const E* lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    return rhs.compare(lhs) > 0;
}
template <typename E, typename T, typename A, typename S>
bool operator>(const flex_string_shell<E, T, A, S>& lhs,
               const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return rhs < lhs;
}
template <typename E, typename T, typename A, typename S>
bool operator>(const flex_string_shell<E, T, A, S>& lhs, const E* rhs)
{
    return rhs < lhs;
}
template <typename E, typename T, typename A, typename S>
bool operator>(const E* lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    return rhs < lhs;
}
template <typename E, typename T, typename A, typename S>
bool operator<=(const flex_string_shell<E, T, A, S>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return !(rhs < lhs);
}
template <typename E, typename T, typename A, typename S>
bool operator<=(const flex_string_shell<E, T, A, S>& lhs, const E* rhs)
{
    return !(rhs < lhs);
}
template <typename E, typename T, typename A, typename S>
bool operator<=(const E* lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    return !(rhs < lhs);
}
template <typename E, typename T, typename A, typename S>
bool operator>=(const flex_string_shell<E, T, A, S>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return !(lhs < rhs);
}
template <typename E, typename T, typename A, typename S>
bool operator>=(const flex_string_shell<E, T, A, S>& lhs, const E* rhs)
{
    return !(lhs < rhs);
}
template <typename E, typename T, typename A, typename S>
bool operator>=(const E* lhs, const flex_string_shell<E, T, A, S>& rhs)
{
    return !(lhs < rhs);
}
/// @}

/// @name Comparison with std::basic_string
/// @{

/// Compares a string with a std::basic_string. The std::basic_string may have any allocator
/// and stand on either side; the comparison is that of the relational operators, without
/// converting either side. Views compare through
/// std::basic_string_view's own operators, as a string converts to one.
template <typename E, typename T, typename A, typename S, typename A2>
bool operator==(const flex_string_shell<E, T, A, S>& lhs,
                const std::basic_string<E, T, A2>& rhs) noexcept
{
    return lhs.compare(rhs) == 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator==(const std::basic_string<E, T, A2>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return std::basic_string_view<E, T>(lhs).compare(rhs) == 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator!=(const flex_string_shell<E, T, A, S>& lhs,
                const std::basic_string<E, T, A2>& rhs) noexcept
{
    return lhs.compare(rhs) != 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator!=(const std::basic_string<E, T, A2>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return std::basic_string_view<E, T>(lhs).compare(rhs) != 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator<(const flex_string_shell<E, T, A, S>& lhs,
               const std::basic_string<E, T, A2>& rhs) noexcept
{
    return lhs.compare(rhs) < 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator<(const std::basic_string<E, T, A2>& lhs,
               const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return std::basic_string_view<E, T>(lhs).compare(rhs) < 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator<=(const flex_string_shell<E, T, A, S>& lhs,
                const std::basic_string<E, T, A2>& rhs) noexcept
{
    return lhs.compare(rhs) <= 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator<=(const std::basic_string<E, T, A2>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return std::basic_string_view<E, T>(lhs).compare(rhs) <= 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator>(const flex_string_shell<E, T, A, S>& lhs,
               const std::basic_string<E, T, A2>& rhs) noexcept
{
    return lhs.compare(rhs) > 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator>(const std::basic_string<E, T, A2>& lhs,
               const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return std::basic_string_view<E, T>(lhs).compare(rhs) > 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator>=(const flex_string_shell<E, T, A, S>& lhs,
                const std::basic_string<E, T, A2>& rhs) noexcept
{
    return lhs.compare(rhs) >= 0;
}
template <typename E, typename T, typename A, typename S, typename A2>
bool operator>=(const std::basic_string<E, T, A2>& lhs,
                const flex_string_shell<E, T, A, S>& rhs) noexcept
{
    return std::basic_string_view<E, T>(lhs).compare(rhs) >= 0;
}
/// @}

/// Exchanges the contents; never throws.
template <typename E, typename T, typename A, typename S>
void swap(flex_string_shell<E, T, A, S>& lhs, flex_string_shell<E, T, A, S>& rhs) noexcept
{
    lhs.swap(rhs);
}

// --- Streams

/// Writes the characters, honouring the stream's width, fill and adjustment.
template <typename E, typename T, typename A, typename S>
std::basic_ostream<E, T>& operator<<(std::basic_ostream<E, T>& os,
                                     const flex_string_shell<E, T, A, S>& s)
{
    return os << std::basic_string_view<E, T>(s.data(), s.size());
}

/// Reads one whitespace-delimited word into s, as for std::basic_string: skips leading
/// whitespace (unless std::noskipws), then extracts characters until whitespace, end of
/// input, or width() characters when width() > 0; resets width() to 0. Sets failbit when no
/// character was extracted and eofbit when input ran out.
template <typename E, typename T, typename A, typename S>
std::basic_istream<E, T>& operator>>(std::basic_istream<E, T>& is, flex_string_shell<E, T, A, S>& s)
{
    using Stream = std::basic_istream<E, T>;
    typename Stream::sentry sentry(is);
    if (!sentry) {
        return is;
    }
    s.clear();
    const std::streamsize width = is.width();
    const std::size_t limit = width > 0 ? static_cast<std::size_t>(width) : s.max_size();
    const auto& ctype = std::use_facet<std::ctype<E>>(is.getloc());
    std::ios_base::iostate state = std::ios_base::goodbit;
    std::size_t extracted = 0;
    typename T::int_type c = is.rdbuf()->sgetc();
    while (extracted < limit) {
        if (T::eq_int_type(c, T::eof())) {
            state |= std::ios_base::eofbit;
            break;
        }
        const E ch = T::to_char_type(c);
        if (ctype.is(std::ctype_base::space, ch)) {
            break;
        }
        s.push_back(ch);
        ++extracted;
        c = is.rdbuf()->snextc();
    }
    is.width(0);
    if (extracted == 0) {
        state |= std::ios_base::failbit;
    }
    is.setstate(state);
    return is;
}

/// Reads one line into s, as std::getline does for std::basic_string: clears s, then extracts
/// characters until delim (extracted, not stored), end of input (sets eofbit) or max_size()
/// characters (sets failbit). Sets failbit when nothing at all was extracted. Found by
/// argument-dependent lookup: call it unqualified, getline(in, s).
template <typename E, typename T, typename A, typename S>
std::basic_istream<E, T>& getline(std::basic_istream<E, T>& is, flex_string_shell<E, T, A, S>& s,
                                  E delim)
{
    using Stream = std::basic_istream<E, T>;
    typename Stream::sentry sentry(is, true);
    if (!sentry) {
        return is;
    }
    s.clear();
    std::ios_base::iostate state = std::ios_base::goodbit;
    std::size_t extracted = 0;
    typename T::int_type c = is.rdbuf()->sgetc();
    for (;;) {
        if (T::eq_int_type(c, T::eof())) {
            state |= std::ios_base::eofbit;
            break;
        }
        if (T::eq(T::to_char_type(c), delim)) {
            is.rdbuf()->sbumpc();
            ++extracted;
            break;
        }
        if (s.size() == s.max_size()) {
            state |= std::ios_base::failbit;
            break;
        }
        s.push_back(T::to_char_type(c));
        ++extracted;
        c = is.rdbuf()->snextc();
    }
    if (extracted == 0) {
        state |= std::ios_base::failbit;
    }
    is.setstate(state);
    return is;
}
/// Reads one line into s, up to the stream's widened line feed, as the form with a delimiter.
template <typename E, typename T, typename A, typename S>
std::basic_istream<E, T>& getline(std::basic_istream<E, T>& is, flex_string_shell<E, T, A, S>& s)
{
    return getline(is, s, is.widen('\n'));
}
/// Reads one line into s from a temporary stream, up to delim, as the form for an lvalue stream.
template <typename E, typename T, typename A, typename S>
std::basic_istream<E, T>& getline(std::basic_istream<E, T>&& is, flex_string_shell<E, T, A, S>& s,
                                  E delim)
{
    return getline(is, s, delim);
}
/// Reads one line into s from a temporary stream, up to the stream's widened line feed.
template <typename E, typename T, typename A, typename S>
std::basic_istream<E, T>& getline(std::basic_istream<E, T>&& is, flex_string_shell<E, T, A, S>& s)
{
    return getline(is, s, is.widen('\n'));
}

} // namespace Infra
} // namespace Orlix

namespace std {
/// Hashes the characters exactly as std::hash of the equivalent std::basic_string_view, so
/// a flex_string, a std::string and a std::string_view with the same contents hash alike.
template <typename E, typename T, typename A, typename S>
struct hash<Orlix::Infra::flex_string_shell<E, T, A, S>>
{
    /// The hash of the characters of s.
    size_t operator()(const Orlix::Infra::flex_string_shell<E, T, A, S>& s) const noexcept
    {
        return hash<basic_string_view<E, T>>()(basic_string_view<E, T>(s.data(), s.size()));
    }
};
} // namespace std

#endif // ORLIX_INFRA_INFRA3_FLEX_STRING_H
