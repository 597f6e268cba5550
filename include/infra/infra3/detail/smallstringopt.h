/// @file
/// Small-string optimisation for flex_string_shell: strings of up to Threshold characters are
/// kept inside the object, longer ones in a wrapped heap Storage policy.
///
/// The object is an array of Threshold + 1 character slots (32 bytes for the default
/// char / 31 configuration):
///
///     inline:  [ c0 .. c(len-1) ][ NUL ][ unused ... ][ Threshold - len ]
///     heap:    [ Storage object ][ unused ........... ][ Threshold + 1   ]
///
/// The last slot is the discriminator. While the characters are inline it holds
/// Threshold - length, so a string of exactly Threshold characters stores 0 there and that
/// slot doubles as the terminator. The value Threshold + 1 marks the heap representation; the
/// Storage object then lives at the start of the array (it must fit in the first Threshold
/// slots, checked at compile time).
///
/// Transitions:
/// - Growing past Threshold (append, insert, resize, reserve) moves the characters into a new
///   Storage; the heap representation is then kept, like std::string's capacity, through
///   shrinking edits, clear() and copy-assignment of short strings.
/// - shrink_to_fit() returns a heap string of at most Threshold characters to the inline
///   representation and frees the block; a longer heap string is shrunk by its Storage.
/// - Copy construction is inline whenever the length fits, whatever the source's
///   representation.
/// - Moving from a heap string steals its Storage; moving from an inline one copies the
///   bytes. Either way the source is left inline and empty.
///
/// The raw bytes are an unsigned char array, which provides storage for the Storage object
/// (placement new, accessed through std::launder) and for the inline characters, so no access
/// relies on type punning.
///
/// Allocators: an inline string holds no allocator; the wrapped Storage is created with a
/// default-constructed one, so the allocator must be always-equal.
#ifndef ORLIX_INFRA_INFRA3_DETAIL_SMALLSTRINGOPT_H
#define ORLIX_INFRA_INFRA3_DETAIL_SMALLSTRINGOPT_H

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

namespace Orlix {
namespace Infra {

/// An inline-first Storage policy for flex_string_shell: up to Threshold characters inside the
/// object, longer strings in a wrapped heap Storage (see smallstringopt.h).
template <typename Storage, std::size_t Threshold = 31>
class smallstringopt
{
public:
    using value_type = typename Storage::value_type;         ///< the character type
    using size_type = std::size_t;                           ///< lengths
    using allocator_type = typename Storage::allocator_type; ///< the wrapped Storage's allocator

private:
    using E = value_type;
    using A = allocator_type;
    using Traits = std::char_traits<E>;

    static constexpr std::size_t kSlots = Threshold + 1;

    static_assert(Threshold > 0 && Threshold < 127,
                  "the discriminator slot must hold Threshold + 1 in any character type");
    static_assert(sizeof(Storage) <= Threshold * sizeof(E),
                  "the heap Storage must fit before the discriminator slot");
    static_assert(std::is_nothrow_move_constructible<Storage>::value,
                  "representation changes rely on a non-throwing Storage move");
    static_assert(std::allocator_traits<A>::is_always_equal::value,
                  "smallstringopt supports always-equal allocators only");

public:
    /// An empty inline string.
    smallstringopt() noexcept { setInlineSize(0); }
    /// An empty inline string; the allocator is not kept (allocators must be always-equal).
    explicit smallstringopt(const A&) noexcept { setInlineSize(0); }
    /// The n characters at s: inline when n <= Threshold, otherwise in a new Storage.
    smallstringopt(const E* s, size_type n, const A& a = A())
    {
        if (n <= Threshold) {
            Traits::copy(inlineChars(), s, n);
            setInlineSize(n);
        } else {
            install(Storage(s, n, a));
        }
    }
    /// n copies of c.
    smallstringopt(size_type n, E c, const A& a = A())
    {
        if (n <= Threshold) {
            Traits::assign(inlineChars(), n, c);
            setInlineSize(n);
        } else {
            install(Storage(n, c, a));
        }
    }
    /// Inline sources are copied bytewise; heap sources through Storage's copy.
    smallstringopt(const smallstringopt& other)
    {
        if (other.isHeap()) {
            if (other.size() <= Threshold) {
                Traits::copy(inlineChars(), other.begin(), other.size());
                setInlineSize(other.size());
            } else {
                install(Storage(other.heap()));
            }
        } else {
            copyInlineFrom(other);
        }
    }
    /// Steals a heap Storage or copies the inline bytes; other is left empty and inline.
    smallstringopt(smallstringopt&& other) noexcept { takeFrom(other); }

    /// Copies other's characters. A heap string keeps its block (as std::string keeps its
    /// capacity); an inline string stays inline when the copy fits.
    smallstringopt& operator=(const smallstringopt& other)
    {
        if (this == &other) {
            return *this;
        }
        if (isHeap()) {
            // Keep our block (resize(0) never shrinks it); reserving first keeps the old
            // contents if growing it fails.
            heap().reserve(other.size());
            heap().resize(0, E());
            heap().append(other.begin(), other.size());
        } else if (other.size() <= Threshold) {
            Traits::copy(inlineChars(), other.begin(), other.size());
            setInlineSize(other.size());
        } else {
            install(Storage(other.heap()));
        }
        return *this;
    }
    /// Frees a heap block of this string, then takes other's heap Storage or copies its inline
    /// bytes; other is left empty and inline.
    smallstringopt& operator=(smallstringopt&& other) noexcept
    {
        if (this != &other) {
            destroyHeap();
            takeFrom(other);
        }
        return *this;
    }
    /// Destroys the heap Storage, if any.
    ~smallstringopt() { destroyHeap(); }

    /// @name Characters and sizes
    /// @{

    /// A Storage accessor of flex_string_shell. begin() and end() delimit the characters,
    /// c_str() is begin() (the characters are always NUL-terminated), size() and capacity()
    /// count characters without the terminator (capacity() is Threshold while inline),
    /// max_size() is the wrapped Storage's, and get_allocator() returns a default-constructed
    /// allocator while inline.
    E* begin() noexcept { return isHeap() ? heap().begin() : inlineChars(); }
    const E* begin() const noexcept { return isHeap() ? heap().begin() : inlineChars(); }
    E* end() noexcept { return begin() + size(); }
    const E* end() const noexcept { return begin() + size(); }
    const E* c_str() const noexcept { return begin(); }
    size_type size() const noexcept
    {
        return isHeap() ? heap().size() : Threshold - static_cast<size_type>(marker());
    }
    size_type capacity() const noexcept { return isHeap() ? heap().capacity() : Threshold; }
    size_type max_size() const noexcept { return Storage().max_size(); }
    A get_allocator() const noexcept { return isHeap() ? heap().get_allocator() : A(); }
    /// @}

    /// Ensures capacity() >= n; a request above Threshold moves an inline string to the heap.
    void reserve(size_type n)
    {
        if (isHeap()) {
            heap().reserve(n);
        } else if (n > Threshold) {
            Storage grown;
            grown.reserve(n);
            grown.append(inlineChars(), size());
            install(std::move(grown));
        }
    }

    /// Appends the n characters at s, which may point into this string.
    void append(const E* s, size_type n)
    {
        if (isHeap()) {
            heap().append(s, n);
            return;
        }
        const size_type oldSize = size();
        if (n <= Threshold - oldSize) {
            Traits::move(inlineChars() + oldSize, s, n);
            setInlineSize(oldSize + n);
            return;
        }
        // s may alias the inline characters, so copy it before the bytes are reused.
        Storage grown;
        grown.reserve(growthTarget(oldSize, n, grown.max_size()));
        grown.append(inlineChars(), oldSize);
        grown.append(s, n);
        install(std::move(grown));
    }

    /// Sets the length to n, filling new positions with c.
    void resize(size_type n, E c)
    {
        if (isHeap()) {
            heap().resize(n, c);
            return;
        }
        const size_type oldSize = size();
        if (n <= Threshold) {
            if (n > oldSize) {
                Traits::assign(inlineChars() + oldSize, n - oldSize, c);
            }
            setInlineSize(n);
            return;
        }
        Storage grown;
        grown.reserve(n);
        grown.append(inlineChars(), oldSize);
        grown.resize(n, c);
        install(std::move(grown));
    }

    /// Exchanges the contents of two strings, whatever their representations; never throws.
    void swap(smallstringopt& other) noexcept
    {
        if (this == &other) {
            return;
        }
        if (isHeap() && other.isHeap()) {
            heap().swap(other.heap());
        } else if (!isHeap() && !other.isHeap()) {
            unsigned char bytes[sizeof(m_bytes)];
            std::memcpy(bytes, m_bytes, sizeof(bytes));
            std::memcpy(m_bytes, other.m_bytes, sizeof(bytes));
            std::memcpy(other.m_bytes, bytes, sizeof(bytes));
        } else {
            smallstringopt& onHeap = isHeap() ? *this : other;
            smallstringopt& inlined = isHeap() ? other : *this;
            Storage moved(std::move(onHeap.heap()));
            onHeap.destroyHeap();
            onHeap.copyInlineFrom(inlined);
            inlined.install(std::move(moved));
        }
    }

    /// Returns a heap string of at most Threshold characters to the inline representation;
    /// otherwise lets the Storage trim its block.
    void shrink_to_fit()
    {
        if (!isHeap()) {
            return;
        }
        const size_type n = size();
        if (n > Threshold) {
            heap().shrink_to_fit();
            return;
        }
        E saved[Threshold];
        Traits::copy(saved, heap().begin(), n);
        destroyHeap();
        Traits::copy(inlineChars(), saved, n);
        setInlineSize(n);
    }

private:
    static constexpr E kHeapMarker = static_cast<E>(Threshold + 1);

    /// Capacity for a string leaving the inline buffer: at least double the inline capacity,
    /// so that a string built by many short appends does not reallocate right away.
    static size_type growthTarget(size_type oldSize, size_type n, size_type limit) noexcept
    {
        const size_type needed = n <= limit - oldSize ? oldSize + n : limit;
        return needed > 2 * Threshold ? needed : 2 * Threshold;
    }

    E* inlineChars() noexcept { return reinterpret_cast<E*>(m_bytes); }
    const E* inlineChars() const noexcept { return reinterpret_cast<const E*>(m_bytes); }
    E marker() const noexcept { return inlineChars()[Threshold]; }
    bool isHeap() const noexcept { return marker() == kHeapMarker; }

    Storage& heap() noexcept { return *std::launder(reinterpret_cast<Storage*>(m_bytes)); }
    const Storage& heap() const noexcept
    {
        return *std::launder(reinterpret_cast<const Storage*>(m_bytes));
    }

    /// Writes the terminator and the discriminator; for n == Threshold both are the last slot.
    void setInlineSize(size_type n) noexcept
    {
        inlineChars()[n] = E();
        inlineChars()[Threshold] = static_cast<E>(Threshold - n);
    }

    /// Switches to the heap representation; any previous heap Storage must be gone already or
    /// is destroyed here.
    void install(Storage&& storage) noexcept
    {
        destroyHeap();
        ::new (static_cast<void*>(m_bytes)) Storage(std::move(storage));
        inlineChars()[Threshold] = kHeapMarker;
    }

    /// Ends the heap Storage's lifetime, leaving an empty inline string.
    void destroyHeap() noexcept
    {
        if (isHeap()) {
            heap().~Storage();
            setInlineSize(0);
        }
    }

    /// Copies an inline other: the characters, terminator and discriminator.
    void copyInlineFrom(const smallstringopt& other) noexcept
    {
        std::memcpy(m_bytes, other.m_bytes, sizeof(m_bytes));
    }

    void takeFrom(smallstringopt& other) noexcept
    {
        if (other.isHeap()) {
            install(std::move(other.heap()));
            other.destroyHeap();
        } else {
            copyInlineFrom(other);
            other.setInlineSize(0);
        }
    }

    alignas(Storage) alignas(E) unsigned char m_bytes[kSlots * sizeof(E)] = {};
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_INFRA3_DETAIL_SMALLSTRINGOPT_H
