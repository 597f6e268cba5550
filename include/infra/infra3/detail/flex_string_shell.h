/// @file
/// flex_string_shell: the string class template behind flex_string. It implements the
/// std::basic_string interface and leaves the representation to a Storage policy, so the
/// same interface serves inline-first strings, plain heap strings and pointer-sized strings.
///
/// A Storage policy provides, for characters E and allocator A:
///  - the types value_type, size_type and allocator_type;
///  - Storage(), Storage(const A&), Storage(const E* s, size_type n, const A&),
///    Storage(size_type n, E c, const A&), copy and (noexcept) move construction/assignment;
///  - begin()/end() (const and non-const), c_str(), size(), capacity(), max_size(),
///    get_allocator(), reserve(n), append(const E* s, size_type n) where s may point into the
///    string itself, resize(n, c), swap(Storage&) noexcept, shrink_to_fit().
///
/// The characters are contiguous and NUL-terminated after every operation.
///
/// The shell performs the argument checks std::basic_string performs: positions past size()
/// throw std::out_of_range, lengths past max_size() throw std::length_error (constructors
/// leave the length check to the Storage, which must throw std::length_error itself). Every
/// other exception comes from the allocator. Searching and comparing are delegated to
/// std::basic_string_view, which has exactly the std::basic_string semantics.
///
/// Iterators are plain pointers; like std::basic_string's, they and any references are
/// invalidated by operations that may change the capacity or the representation.
#ifndef ORLIX_INFRA_INFRA3_DETAIL_FLEX_STRING_SHELL_H
#define ORLIX_INFRA_INFRA3_DETAIL_FLEX_STRING_SHELL_H

#include "infra/infra3/detail/allocatorstringstorage.h"
#include "infra/infra3/detail/smallstringopt.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace Orlix {
namespace Infra {

/// The std::basic_string interface over a Storage policy. flex_string (flex_string.h) is its
/// default configuration; the policy contract is in flex_string_shell.h.
template <typename E, typename T = std::char_traits<E>, typename A = std::allocator<E>,
          typename Storage = smallstringopt<allocatorstringstorage<E, A>, 31>>
class flex_string_shell
{
    using View = std::basic_string_view<E, T>;

    /// Enables the string_view overloads for types convertible to a view but not to a
    /// character pointer, as std::basic_string does; flex_string arguments keep their own
    /// overloads.
    template <typename V>
    using EnableIfView =
        std::enable_if_t<std::is_convertible<const V&, View>::value &&
                             !std::is_convertible<const V&, const E*>::value &&
                             !std::is_same<std::decay_t<V>, flex_string_shell>::value,
                         int>;

    /// Enables the overloads that take an iterator as a position for the string's own
    /// iterator types only. The iterators are character pointers, to which a literal 0 (or
    /// another null pointer constant) converts as readily as to size_type: without this,
    /// erase(0) and insert(0, n, c) would be ambiguous, and insert(0, c) would take 0 as an
    /// iterator. std::basic_string's class iterators take no integer, so these calls mean
    /// positions there, and here too.
    template <typename P>
    using EnableIfPosition =
        std::enable_if_t<std::is_same<P, E*>::value || std::is_same<P, const E*>::value, int>;

    template <typename It>
    using IteratorCategory = typename std::iterator_traits<It>::iterator_category;
    template <typename It>
    using EnableIfIterator =
        std::enable_if_t<std::is_convertible<IteratorCategory<It>, std::input_iterator_tag>::value,
                         int>;

public:
    using traits_type = T;                  ///< the character traits
    using value_type = E;                   ///< the character type
    using allocator_type = A;               ///< the allocator type
    using size_type = std::size_t;          ///< lengths and positions
    using difference_type = std::ptrdiff_t; ///< distances between iterators
    using reference = E&;                   ///< a reference to a character
    using const_reference = const E&;       ///< a read-only reference to a character
    using pointer = E*;                     ///< a pointer to a character
    using const_pointer = const E*;         ///< a read-only pointer to a character

    /// @name Iterator types
    /// @{

    /// Iterator types. The iterators are plain character pointers (the const_ ones read only);
    /// the reverse_ ones run from the last character to the first.
    using iterator = E*;
    using const_iterator = const E*;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;
    /// @}

    /// The storage policy.
    using storage_type = Storage;

    static_assert(std::is_same<typename Storage::value_type, E>::value,
                  "Storage must hold the shell's character type");

    /// Passed as a length: "to the end of the string". Returned by searches: "not found".
    static constexpr size_type npos = static_cast<size_type>(-1);

    /// @name Construction and destruction
    /// @{

    /// An empty string. Never allocates with the provided storage policies.
    flex_string_shell() = default;
    /// An empty string that uses allocator a.
    explicit flex_string_shell(const A& a) noexcept : m_store(a) {}
    /// A copy of s.
    flex_string_shell(const flex_string_shell& s) = default;
    /// Leaves s empty.
    flex_string_shell(flex_string_shell&& s) noexcept = default;
    /// The characters [pos, pos + n) of s, clamped at its end; throws std::out_of_range when
    /// pos > s.size().
    flex_string_shell(const flex_string_shell& s, size_type pos, size_type n = npos,
                      const A& a = A())
        : m_store(s.data() + checkPos(pos, s.size()), clampLength(s.size(), pos, n), a)
    {}
    /// The NUL-terminated string s.
    flex_string_shell(const E* s, const A& a = A()) : m_store(s, T::length(s), a) {}
    /// The n characters at s (which may contain NULs).
    flex_string_shell(const E* s, size_type n, const A& a = A()) : m_store(s, n, a) {}
    /// n copies of c. A template, as std::basic_string's is, so that a call either this or
    /// the form with a pointer and a length could take, such as flex_string(0, 0), goes to
    /// the same one as there (the pointer form: an empty string).
    template <typename = void>
    flex_string_shell(size_type n, E c, const A& a = A()) : m_store(n, c, a)
    {}
    /// The characters of [first, last).
    template <typename It, EnableIfIterator<It> = 0>
    flex_string_shell(It first, It last, const A& a = A()) : m_store(a)
    {
        appendRange(first, last);
    }
    /// The characters of il.
    flex_string_shell(std::initializer_list<E> il, const A& a = A())
        : m_store(il.begin(), il.size(), a)
    {}
    /// A copy of a std::basic_string; implicit so that std::string arguments convert.
    template <typename A2>
    flex_string_shell(const std::basic_string<E, T, A2>& s, const A& a = A())
        : m_store(s.data(), s.size(), a)
    {}
    /// A copy of the characters viewed by v (a std::basic_string_view or anything that
    /// converts to one).
    template <typename V, EnableIfView<V> = 0>
    explicit flex_string_shell(const V& v, const A& a = A()) : m_store(a)
    {
        const View view = v;
        append(view.data(), view.size());
    }

    /// The characters [pos, pos + n) viewed by v, clamped; std::out_of_range when
    /// pos > v.size().
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell(const V& v, size_type pos, size_type n, const A& a = A()) : m_store(a)
    {
        const View view = v;
        append(view.substr(pos, n));
    }

    /// Releases the storage.
    ~flex_string_shell() = default;
    /// @}

    /// @name Assignment operators
    /// @{

    /// Replaces the contents with the right-hand side. That is a string, a C string, one
    /// character, a list, a std::basic_string or a view (anything that converts to one), and
    /// it may alias *this. Returns *this.
    flex_string_shell& operator=(const flex_string_shell& s) = default;
    /// Takes over the contents of s and leaves s empty (or, when s is *this, unchanged).
    flex_string_shell& operator=(flex_string_shell&& s) noexcept = default;
    flex_string_shell& operator=(const E* s) { return assign(s); }
    flex_string_shell& operator=(E c) { return assign(1, c); }
    flex_string_shell& operator=(std::initializer_list<E> il) { return assign(il); }
    template <typename A2>
    flex_string_shell& operator=(const std::basic_string<E, T, A2>& s)
    {
        return assign(s.data(), s.size());
    }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& operator=(const V& v)
    {
        return assign(v);
    }
    /// @}

    /// @name assign: replace the whole contents
    /// @{

    /// Replaces the contents with the given characters. They are read as the constructor with
    /// the same arguments reads them: a string, the substring [pos, pos + n) of a string or
    /// view (clamped; std::out_of_range when pos is past its end), n characters at s, a C
    /// string, n copies of c, an iterator range, a list or a view. The source may alias
    /// *this. Returns *this.
    flex_string_shell& assign(const flex_string_shell& s) { return *this = s; }
    /// Takes over the contents of s, as move assignment does.
    flex_string_shell& assign(flex_string_shell&& s) noexcept { return *this = std::move(s); }
    /// The characters [pos, pos + n) of s, clamped; std::out_of_range when pos > s.size().
    flex_string_shell& assign(const flex_string_shell& s, size_type pos, size_type n = npos)
    {
        checkPos(pos, s.size());
        return assign(s.data() + pos, clampLength(s.size(), pos, n));
    }
    flex_string_shell& assign(const E* s, size_type n)
    {
        checkLength(n);
        if (isOwn(s)) {
            // A substring of ourselves: slide it to the front, never reallocating.
            T::move(begin(), s, n);
            m_store.resize(n, E());
        } else {
            // Reserving first keeps the old contents if the allocation fails.
            m_store.reserve(n);
            m_store.resize(0, E());
            m_store.append(s, n);
        }
        return *this;
    }
    flex_string_shell& assign(const E* s) { return assign(s, T::length(s)); }
    flex_string_shell& assign(size_type n, E c)
    {
        m_store.reserve(checkLength(n));
        m_store.resize(0, E());
        m_store.resize(n, c);
        return *this;
    }
    template <typename It, EnableIfIterator<It> = 0>
    flex_string_shell& assign(It first, It last)
    {
        if constexpr (IsCharPointer<It>::value) {
            return assign(first, static_cast<size_type>(last - first));
        } else {
            flex_string_shell copy(first, last);
            return *this = std::move(copy);
        }
    }
    flex_string_shell& assign(std::initializer_list<E> il) { return assign(il.begin(), il.size()); }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& assign(const V& v)
    {
        const View view = v;
        return assign(view.data(), view.size());
    }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& assign(const V& v, size_type pos, size_type n = npos)
    {
        const View view = v;
        return assign(view.substr(pos, n));
    }
    /// @}

    /// @name Element access
    /// @{

    /// The character at pos; pos == size() yields the terminator. Unchecked.
    reference operator[](size_type pos) noexcept { return begin()[pos]; }
    /// The character at pos, read only; pos == size() yields the terminator. Unchecked.
    const_reference operator[](size_type pos) const noexcept { return begin()[pos]; }
    /// The character at pos; std::out_of_range when pos >= size().
    reference at(size_type pos) { return begin()[checkIndex(pos)]; }
    /// The character at pos, read only; std::out_of_range when pos >= size().
    const_reference at(size_type pos) const { return begin()[checkIndex(pos)]; }
    /// The first character; the string must not be empty.
    reference front() noexcept { return *begin(); }
    /// The first character, read only; the string must not be empty.
    const_reference front() const noexcept { return *begin(); }
    /// The last character; the string must not be empty.
    reference back() noexcept { return end()[-1]; }
    /// The last character, read only; the string must not be empty.
    const_reference back() const noexcept { return end()[-1]; }
    /// The characters, always followed by a NUL; valid until the next modification.
    const E* c_str() const noexcept { return m_store.c_str(); }
    /// The same pointer as c_str().
    const E* data() const noexcept { return m_store.c_str(); }
    /// The characters, writable (the terminator must stay); valid until the next modification.
    E* data() noexcept { return m_store.begin(); }
    /// A view of the whole string; valid until the next modification.
    operator View() const noexcept { return View(data(), size()); }
    /// A std::basic_string copy of the contents.
    std::basic_string<E, T, A> str() const { return std::basic_string<E, T, A>(data(), size()); }
    /// A copy of the allocator.
    allocator_type get_allocator() const noexcept { return m_store.get_allocator(); }
    /// @}

    /// @name Iterators
    /// @{

    /// An iterator over the characters, as std::basic_string's. begin() and cbegin() are at
    /// the first character, end() and cend() one past the last; rbegin(), crbegin(), rend()
    /// and crend() are the same, running backwards. They are invalidated as
    /// std::basic_string's are.
    iterator begin() noexcept { return m_store.begin(); }
    const_iterator begin() const noexcept { return m_store.begin(); }
    const_iterator cbegin() const noexcept { return begin(); }
    iterator end() noexcept { return m_store.end(); }
    const_iterator end() const noexcept { return m_store.end(); }
    const_iterator cend() const noexcept { return end(); }
    reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
    const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
    const_reverse_iterator crbegin() const noexcept { return rbegin(); }
    reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
    const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }
    const_reverse_iterator crend() const noexcept { return rend(); }
    /// @}

    /// @name Capacity
    /// @{

    /// The number of characters, excluding the terminator.
    size_type size() const noexcept { return m_store.size(); }
    /// The same as size().
    size_type length() const noexcept { return size(); }
    /// True when size() is 0.
    bool empty() const noexcept { return size() == 0; }
    /// The longest string the storage can hold; longer requests throw std::length_error.
    size_type max_size() const noexcept { return m_store.max_size(); }
    /// Characters that fit without reallocating (excluding the terminator).
    size_type capacity() const noexcept { return m_store.capacity(); }
    /// Ensures capacity() >= n; never shrinks. std::length_error when n > max_size().
    void reserve(size_type n = 0) { m_store.reserve(checkLength(n)); }
    /// Sets the length to n, appending copies of c or truncating.
    void resize(size_type n, E c) { m_store.resize(checkLength(n), c); }
    /// The same as resize(n, E()).
    void resize(size_type n) { resize(n, E()); }
    /// Non-binding request to release unused capacity; see the Storage policy for what it
    /// does (smallstringopt moves short strings back inline).
    void shrink_to_fit() { m_store.shrink_to_fit(); }
    /// Makes the string empty; keeps the capacity.
    void clear() noexcept { m_store.resize(0, E()); }
    /// @}

    /// @name Appending
    /// @{

    /// Appends the given characters. They are a string, the substring [pos, pos + n) of a
    /// string or view (clamped; std::out_of_range when pos is past its end), n characters at
    /// s, a C string, one character (operator+=) or n copies of c, an iterator range, a list
    /// or a view, and may alias *this. std::length_error when the result would be longer than
    /// max_size(). Returns *this.
    flex_string_shell& operator+=(const flex_string_shell& s) { return append(s); }
    flex_string_shell& operator+=(const E* s) { return append(s); }
    flex_string_shell& operator+=(E c)
    {
        push_back(c);
        return *this;
    }
    flex_string_shell& operator+=(std::initializer_list<E> il) { return append(il); }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& operator+=(const V& v)
    {
        return append(v);
    }

    flex_string_shell& append(const flex_string_shell& s) { return append(s.data(), s.size()); }
    /// The characters [pos, pos + n) of s, clamped; std::out_of_range when pos > s.size().
    flex_string_shell& append(const flex_string_shell& s, size_type pos, size_type n = npos)
    {
        checkPos(pos, s.size());
        return append(s.data() + pos, clampLength(s.size(), pos, n));
    }
    flex_string_shell& append(const E* s, size_type n)
    {
        checkGrowth(n);
        m_store.append(s, n);
        return *this;
    }
    flex_string_shell& append(const E* s) { return append(s, T::length(s)); }
    flex_string_shell& append(size_type n, E c)
    {
        resize(checkGrowth(n) + size(), c);
        return *this;
    }
    template <typename It, EnableIfIterator<It> = 0>
    flex_string_shell& append(It first, It last)
    {
        appendRange(first, last);
        return *this;
    }
    flex_string_shell& append(std::initializer_list<E> il) { return append(il.begin(), il.size()); }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& append(const V& v)
    {
        const View view = v;
        return append(view.data(), view.size());
    }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& append(const V& v, size_type pos, size_type n = npos)
    {
        const View view = v;
        return append(view.substr(pos, n));
    }
    /// Appends c.
    void push_back(E c) { append(&c, 1); }
    /// Removes the last character; the string must not be empty.
    void pop_back() { m_store.resize(size() - 1, E()); }
    /// @}

    /// @name Insertion before a position
    /// @{

    /// Inserts the given characters before position pos. They are a string, the substring
    /// [pos2, pos2 + n) of a string or view (clamped), n characters at s, a C string, n copies
    /// of c or a view, and may alias *this. std::out_of_range when pos > size() or pos2 is
    /// past the source's end. Returns *this.
    flex_string_shell& insert(size_type pos, const flex_string_shell& s)
    {
        return insert(pos, s.data(), s.size());
    }
    flex_string_shell& insert(size_type pos, const flex_string_shell& s, size_type pos2,
                              size_type n = npos)
    {
        checkPos(pos2, s.size());
        return insert(pos, s.data() + pos2, clampLength(s.size(), pos2, n));
    }
    flex_string_shell& insert(size_type pos, const E* s, size_type n)
    {
        return replace(pos, 0, s, n);
    }
    flex_string_shell& insert(size_type pos, const E* s) { return insert(pos, s, T::length(s)); }
    flex_string_shell& insert(size_type pos, size_type n, E c) { return replace(pos, 0, n, c); }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& insert(size_type pos, const V& v)
    {
        const View view = v;
        return insert(pos, view.data(), view.size());
    }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& insert(size_type pos, const V& v, size_type pos2, size_type n = npos)
    {
        const View view = v;
        return insert(pos, view.substr(pos2, n));
    }
    /// @}

    /// @name Insertion before an iterator
    /// @{

    /// Inserts the given characters before p, which points into the string or at its end.
    /// They are one character, n copies of c, an iterator range or a list, and may alias
    /// *this. Returns an iterator to the first inserted character (or p when nothing was
    /// inserted). p must be one of the string's iterators (E* or const E*): a literal 0 is
    /// never taken for one, so insert(0, n, c) is the position form, as for
    /// std::basic_string, and insert(0, c) does not compile.
    template <typename P, EnableIfPosition<P> = 0>
    iterator insert(P p, E c)
    {
        return insert(p, 1, c);
    }
    template <typename P, EnableIfPosition<P> = 0>
    iterator insert(P p, size_type n, E c)
    {
        const size_type pos = offsetOf(p);
        insert(pos, n, c);
        return begin() + pos;
    }
    template <typename P, typename It, EnableIfPosition<P> = 0, EnableIfIterator<It> = 0>
    iterator insert(P p, It first, It last)
    {
        const size_type pos = offsetOf(p);
        if constexpr (IsCharPointer<It>::value) {
            insert(pos, first, static_cast<size_type>(last - first));
        } else {
            const flex_string_shell copy(first, last);
            insert(pos, copy.data(), copy.size());
        }
        return begin() + pos;
    }
    template <typename P, EnableIfPosition<P> = 0>
    iterator insert(P p, std::initializer_list<E> il)
    {
        return insert(p, il.begin(), il.end());
    }
    /// @}

    /// @name Erasure
    /// @{

    /// Removes [pos, pos + n), clamped; std::out_of_range when pos > size().
    flex_string_shell& erase(size_type pos = 0, size_type n = npos)
    {
        checkPos(pos, size());
        n = clampLength(size(), pos, n);
        E* p = begin();
        T::move(p + pos, p + pos + n, size() - pos - n);
        m_store.resize(size() - n, E());
        return *this;
    }
    /// Removes the character at p, one of the string's iterators (a literal 0 is a position:
    /// erase(0) is the form above); returns an iterator to the character that followed it.
    template <typename P, EnableIfPosition<P> = 0>
    iterator erase(P p)
    {
        const size_type pos = offsetOf(p);
        erase(pos, 1);
        return begin() + pos;
    }
    /// Removes [first, last); returns an iterator to the character that followed them.
    template <typename P1, typename P2, EnableIfPosition<P1> = 0, EnableIfPosition<P2> = 0>
    iterator erase(P1 first, P2 last)
    {
        const size_type pos = offsetOf(first);
        erase(pos, static_cast<size_type>(last - first));
        return begin() + pos;
    }
    /// @}

    /// @name Replacement
    /// @{

    /// Replaces a range of characters with the given characters. The range is [pos, pos + n1)
    /// (clamped to the end) or [i1, i2) of the string's iterators (a literal 0 is a
    /// position, never an iterator); the new characters are a string, the substring
    /// [pos2, pos2 + n2) of a string or view (clamped), n2 characters at s, a C string, n2
    /// copies of c, an iterator range, a list or a view, and may alias *this.
    /// std::out_of_range when pos > size() or pos2 is past the source's end. Returns *this.
    flex_string_shell& replace(size_type pos, size_type n1, const flex_string_shell& s)
    {
        return replace(pos, n1, s.data(), s.size());
    }
    flex_string_shell& replace(size_type pos, size_type n1, const flex_string_shell& s,
                               size_type pos2, size_type n2 = npos)
    {
        checkPos(pos2, s.size());
        return replace(pos, n1, s.data() + pos2, clampLength(s.size(), pos2, n2));
    }
    flex_string_shell& replace(size_type pos, size_type n1, const E* s, size_type n2)
    {
        checkPos(pos, size());
        n1 = clampLength(size(), pos, n1);
        if (n2 != 0 && isOwn(s)) {
            const flex_string_shell copy(s, n2);
            return replace(pos, n1, copy.data(), n2);
        }
        E* p = makeGap(pos, n1, n2);
        T::copy(p + pos, s, n2);
        return *this;
    }
    flex_string_shell& replace(size_type pos, size_type n1, const E* s)
    {
        return replace(pos, n1, s, T::length(s));
    }
    flex_string_shell& replace(size_type pos, size_type n1, size_type n2, E c)
    {
        checkPos(pos, size());
        n1 = clampLength(size(), pos, n1);
        E* p = makeGap(pos, n1, n2);
        T::assign(p + pos, n2, c);
        return *this;
    }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& replace(size_type pos, size_type n1, const V& v)
    {
        const View view = v;
        return replace(pos, n1, view.data(), view.size());
    }
    template <typename V, EnableIfView<V> = 0>
    flex_string_shell& replace(size_type pos, size_type n1, const V& v, size_type pos2,
                               size_type n2 = npos)
    {
        const View view = v;
        return replace(pos, n1, view.substr(pos2, n2));
    }
    template <typename P1, typename P2, EnableIfPosition<P1> = 0, EnableIfPosition<P2> = 0>
    flex_string_shell& replace(P1 i1, P2 i2, const flex_string_shell& s)
    {
        return replace(offsetOf(i1), rangeLength(i1, i2), s);
    }
    template <typename P1, typename P2, EnableIfPosition<P1> = 0, EnableIfPosition<P2> = 0>
    flex_string_shell& replace(P1 i1, P2 i2, const E* s, size_type n)
    {
        return replace(offsetOf(i1), rangeLength(i1, i2), s, n);
    }
    template <typename P1, typename P2, EnableIfPosition<P1> = 0, EnableIfPosition<P2> = 0>
    flex_string_shell& replace(P1 i1, P2 i2, const E* s)
    {
        return replace(offsetOf(i1), rangeLength(i1, i2), s);
    }
    template <typename P1, typename P2, EnableIfPosition<P1> = 0, EnableIfPosition<P2> = 0>
    flex_string_shell& replace(P1 i1, P2 i2, size_type n, E c)
    {
        return replace(offsetOf(i1), rangeLength(i1, i2), n, c);
    }
    template <typename P1, typename P2, typename It, EnableIfPosition<P1> = 0,
              EnableIfPosition<P2> = 0, EnableIfIterator<It> = 0>
    flex_string_shell& replace(P1 i1, P2 i2, It first, It last)
    {
        if constexpr (IsCharPointer<It>::value) {
            return replace(offsetOf(i1), rangeLength(i1, i2), first,
                           static_cast<size_type>(last - first));
        } else {
            const flex_string_shell copy(first, last);
            return replace(offsetOf(i1), rangeLength(i1, i2), copy.data(), copy.size());
        }
    }
    template <typename P1, typename P2, EnableIfPosition<P1> = 0, EnableIfPosition<P2> = 0>
    flex_string_shell& replace(P1 i1, P2 i2, std::initializer_list<E> il)
    {
        return replace(offsetOf(i1), rangeLength(i1, i2), il.begin(), il.size());
    }
    template <typename P1, typename P2, typename V, EnableIfPosition<P1> = 0,
              EnableIfPosition<P2> = 0, EnableIfView<V> = 0>
    flex_string_shell& replace(P1 i1, P2 i2, const V& v)
    {
        return replace(offsetOf(i1), rangeLength(i1, i2), v);
    }
    /// @}

    /// @name Operations
    /// @{

    /// Copies up to n characters starting at pos into s (no terminator); returns the count.
    /// std::out_of_range when pos > size().
    size_type copy(E* s, size_type n, size_type pos = 0) const
    {
        return View(*this).copy(s, n, pos);
    }
    /// Exchanges the contents; never throws.
    void swap(flex_string_shell& s) noexcept { m_store.swap(s.m_store); }
    /// The characters [pos, pos + n), clamped; std::out_of_range when pos > size().
    flex_string_shell substr(size_type pos = 0, size_type n = npos) const
    {
        return flex_string_shell(*this, pos, n);
    }
    /// @}

    /// @name Searching: find
    /// @{

    /// The position of the first occurrence of the needle at or after pos, or npos. The needle
    /// is a string, n characters at s, a C string, one character or a view. An empty needle
    /// is found at pos when pos <= size().
    size_type find(const flex_string_shell& s, size_type pos = 0) const noexcept
    {
        return view().find(View(s), pos);
    }
    size_type find(const E* s, size_type pos, size_type n) const { return view().find(s, pos, n); }
    size_type find(const E* s, size_type pos = 0) const { return view().find(s, pos); }
    size_type find(E c, size_type pos = 0) const noexcept { return view().find(c, pos); }
    template <typename V, EnableIfView<V> = 0>
    size_type find(const V& v, size_type pos = 0) const
    {
        return view().find(View(v), pos);
    }
    /// @}

    /// @name Searching: rfind
    /// @{

    /// The position of the last occurrence of the needle starting at or before pos, or npos.
    /// The needle is a string, n characters at s, a C string, one character or a view.
    size_type rfind(const flex_string_shell& s, size_type pos = npos) const noexcept
    {
        return view().rfind(View(s), pos);
    }
    size_type rfind(const E* s, size_type pos, size_type n) const
    {
        return view().rfind(s, pos, n);
    }
    size_type rfind(const E* s, size_type pos = npos) const { return view().rfind(s, pos); }
    size_type rfind(E c, size_type pos = npos) const noexcept { return view().rfind(c, pos); }
    template <typename V, EnableIfView<V> = 0>
    size_type rfind(const V& v, size_type pos = npos) const
    {
        return view().rfind(View(v), pos);
    }
    /// @}

    /// @name Searching: find_first_of
    /// @{

    /// The position of the first character at or after pos that is one of the given ones, or
    /// npos. The given characters are a string, n characters at s, a C string, one character
    /// or a view.
    size_type find_first_of(const flex_string_shell& s, size_type pos = 0) const noexcept
    {
        return view().find_first_of(View(s), pos);
    }
    size_type find_first_of(const E* s, size_type pos, size_type n) const
    {
        return view().find_first_of(s, pos, n);
    }
    size_type find_first_of(const E* s, size_type pos = 0) const
    {
        return view().find_first_of(s, pos);
    }
    size_type find_first_of(E c, size_type pos = 0) const noexcept
    {
        return view().find_first_of(c, pos);
    }
    template <typename V, EnableIfView<V> = 0>
    size_type find_first_of(const V& v, size_type pos = 0) const
    {
        return view().find_first_of(View(v), pos);
    }
    /// @}

    /// @name Searching: find_last_of
    /// @{

    /// The position of the last character at or before pos that is one of the given ones, or
    /// npos. The given characters are a string, n characters at s, a C string, one character
    /// or a view.
    size_type find_last_of(const flex_string_shell& s, size_type pos = npos) const noexcept
    {
        return view().find_last_of(View(s), pos);
    }
    size_type find_last_of(const E* s, size_type pos, size_type n) const
    {
        return view().find_last_of(s, pos, n);
    }
    size_type find_last_of(const E* s, size_type pos = npos) const
    {
        return view().find_last_of(s, pos);
    }
    size_type find_last_of(E c, size_type pos = npos) const noexcept
    {
        return view().find_last_of(c, pos);
    }
    template <typename V, EnableIfView<V> = 0>
    size_type find_last_of(const V& v, size_type pos = npos) const
    {
        return view().find_last_of(View(v), pos);
    }
    /// @}

    /// @name Searching: find_first_not_of
    /// @{

    /// The position of the first character at or after pos that is none of the given ones, or
    /// npos. The given characters are a string, n characters at s, a C string, one character
    /// or a view.
    size_type find_first_not_of(const flex_string_shell& s, size_type pos = 0) const noexcept
    {
        return view().find_first_not_of(View(s), pos);
    }
    size_type find_first_not_of(const E* s, size_type pos, size_type n) const
    {
        return view().find_first_not_of(s, pos, n);
    }
    size_type find_first_not_of(const E* s, size_type pos = 0) const
    {
        return view().find_first_not_of(s, pos);
    }
    size_type find_first_not_of(E c, size_type pos = 0) const noexcept
    {
        return view().find_first_not_of(c, pos);
    }
    template <typename V, EnableIfView<V> = 0>
    size_type find_first_not_of(const V& v, size_type pos = 0) const
    {
        return view().find_first_not_of(View(v), pos);
    }
    /// @}

    /// @name Searching: find_last_not_of
    /// @{

    /// The position of the last character at or before pos that is none of the given ones, or
    /// npos. The given characters are a string, n characters at s, a C string, one character
    /// or a view.
    size_type find_last_not_of(const flex_string_shell& s, size_type pos = npos) const noexcept
    {
        return view().find_last_not_of(View(s), pos);
    }
    size_type find_last_not_of(const E* s, size_type pos, size_type n) const
    {
        return view().find_last_not_of(s, pos, n);
    }
    size_type find_last_not_of(const E* s, size_type pos = npos) const
    {
        return view().find_last_not_of(s, pos);
    }
    size_type find_last_not_of(E c, size_type pos = npos) const noexcept
    {
        return view().find_last_not_of(c, pos);
    }
    template <typename V, EnableIfView<V> = 0>
    size_type find_last_not_of(const V& v, size_type pos = npos) const
    {
        return view().find_last_not_of(View(v), pos);
    }
    /// @}

    /// @name Comparison
    /// @{

    /// Compares this string, or a part of it, with another. This side is the whole string or
    /// its substring [pos1, pos1 + n1) (clamped); the other is a string, the substring
    /// [pos2, pos2 + n2) of a string or view (clamped), a C string, n2 characters at s, or a
    /// view. The result is negative, 0 or positive as this side orders before, equal to or
    /// after the other, by traits_type::compare and then length. std::out_of_range when
    /// pos1 > size() or pos2 is past the other's end.
    int compare(const flex_string_shell& s) const noexcept { return view().compare(View(s)); }
    int compare(size_type pos1, size_type n1, const flex_string_shell& s) const
    {
        return view().compare(pos1, n1, View(s));
    }
    int compare(size_type pos1, size_type n1, const flex_string_shell& s, size_type pos2,
                size_type n2 = npos) const
    {
        return view().compare(pos1, n1, View(s), pos2, n2);
    }
    int compare(const E* s) const { return view().compare(s); }
    int compare(size_type pos1, size_type n1, const E* s) const
    {
        return view().compare(pos1, n1, s);
    }
    int compare(size_type pos1, size_type n1, const E* s, size_type n2) const
    {
        return view().compare(pos1, n1, s, n2);
    }
    template <typename V, EnableIfView<V> = 0>
    int compare(const V& v) const
    {
        return view().compare(View(v));
    }
    template <typename V, EnableIfView<V> = 0>
    int compare(size_type pos1, size_type n1, const V& v) const
    {
        return view().compare(pos1, n1, View(v));
    }
    template <typename V, EnableIfView<V> = 0>
    int compare(size_type pos1, size_type n1, const V& v, size_type pos2, size_type n2 = npos) const
    {
        return view().compare(pos1, n1, View(v), pos2, n2);
    }
    /// @}

private:
    template <typename It>
    struct IsCharPointer : std::integral_constant<bool, std::is_same<It, E*>::value ||
                                                            std::is_same<It, const E*>::value>
    {};

    View view() const noexcept { return View(data(), size()); }

    static size_type checkPos(size_type pos, size_type size)
    {
        if (pos > size) {
            throw std::out_of_range("flex_string: position out of range");
        }
        return pos;
    }
    size_type checkIndex(size_type pos) const
    {
        if (pos >= size()) {
            throw std::out_of_range("flex_string::at: index out of range");
        }
        return pos;
    }
    size_type checkLength(size_type n) const
    {
        if (n > max_size()) {
            throw std::length_error("flex_string: length exceeds max_size()");
        }
        return n;
    }
    /// Checks that n more characters fit; returns n.
    size_type checkGrowth(size_type n) const
    {
        if (n > max_size() - size()) {
            throw std::length_error("flex_string: length exceeds max_size()");
        }
        return n;
    }
    static size_type clampLength(size_type size, size_type pos, size_type n) noexcept
    {
        return std::min(n, size - pos);
    }
    size_type offsetOf(const_iterator p) const noexcept
    {
        return static_cast<size_type>(p - begin());
    }
    static size_type rangeLength(const_iterator first, const_iterator last) noexcept
    {
        return static_cast<size_type>(last - first);
    }

    /// True when s points into [data(), data() + size()], i.e. a source that a reallocation
    /// or a shift of our characters would clobber. std::less gives a total order even for
    /// pointers into unrelated objects.
    bool isOwn(const E* s) const noexcept
    {
        const E* b = data();
        return !std::less<const E*>()(s, b) && !std::less<const E*>()(b + size(), s);
    }

    /// Resizes so that the n1 characters at pos become n2 (uninitialised) slots, shifting
    /// the tail; pos and n1 are already validated. Returns the (possibly new) data pointer.
    E* makeGap(size_type pos, size_type n1, size_type n2)
    {
        const size_type oldSize = size();
        const size_type tail = oldSize - pos - n1;
        if (n2 > n1) {
            checkGrowth(n2 - n1);
            m_store.resize(oldSize + (n2 - n1), E());
            E* p = begin();
            T::move(p + pos + n2, p + pos + n1, tail);
            return p;
        }
        E* p = begin();
        T::move(p + pos + n2, p + pos + n1, tail);
        m_store.resize(oldSize - (n1 - n2), E());
        return begin();
    }

    template <typename It>
    void appendRange(It first, It last)
    {
        if constexpr (IsCharPointer<It>::value) {
            append(first, static_cast<size_type>(last - first));
            return;
        }
        // The range may refer to our own characters through a non-pointer iterator, and
        // reading it may throw, so gather it before touching our storage.
        flex_string_shell gathered;
        if constexpr (std::is_convertible<IteratorCategory<It>, std::forward_iterator_tag>::value) {
            const size_type n = static_cast<size_type>(std::distance(first, last));
            gathered.m_store.resize(checkLength(n), E());
            std::copy(first, last, gathered.begin());
        } else {
            for (; first != last; ++first) {
                gathered.push_back(*first);
            }
        }
        append(gathered.data(), gathered.size());
    }

    Storage m_store;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_INFRA3_DETAIL_FLEX_STRING_SHELL_H
