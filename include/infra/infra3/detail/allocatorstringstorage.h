/// @file
/// Heap storage policies for flex_string_shell.
///
/// A heap storage object is a single pointer to one allocated block that carries its own
/// bookkeeping ahead of the characters:
///
///     [ CBlockHeaderInternal { size; capacity } ][ E chars[capacity + 1] ]
///
/// The characters start right after the header (the header's size is a multiple of the
/// character alignment, which is checked at compile time) and are always NUL-terminated, so
/// c_str() is just a pointer into the block. The block is allocated in whole header-sized
/// units through the allocator rebound to the header type; the slack of the last unit is
/// reported as capacity rather than wasted.
///
/// allocatorstringstorage<E, A> keeps the empty string as a pointer to one shared, statically
/// zero-initialised empty block, so every accessor reads through the pointer without a branch
/// and an empty string never allocates. ministringstorage<E, A> (ministringstorage.h) uses a
/// null pointer and a 32-bit header instead; both share CHeapStringStorageInternal below.
///
/// Neither policy ever writes into the shared empty block: every write is preceded by a
/// capacity check, and the empty block's capacity is 0 while a real block always has room for
/// at least one character. That keeps the shared block free of data races, and it is also how
/// the empty block is told apart from an owned one (never by its address).
///
/// Operations: both policies offer the Storage interface listed in flex_string_shell.h,
/// implemented once in the Detail namespace. reserve(n) allocates exactly what is asked
/// (rounded up to a whole header unit); append() and resize() double the capacity when they
/// must grow, so repeated appends take amortised constant time; a copy is sized to the
/// source's length, not its capacity, and copy assignment reuses the block when it is large
/// enough; shrink_to_fit() gives the block back when the string is empty, and otherwise moves
/// the characters into a block just big enough when that saves at least one header unit.
///
/// Allocators: the allocator is held as an empty base, so a stateless allocator adds no size.
/// Allocators must be always-equal (std::allocator, or any empty allocator type); propagation
/// of stateful allocators on copy, move and swap is deliberately not supported.
///
/// Failure: allocation failures propagate from the allocator (std::bad_alloc for
/// std::allocator); a request past max_size() throws std::length_error. Every mutation
/// allocates the new block before releasing the old one, so a throwing mutation leaves the
/// string unchanged (strong guarantee).
#ifndef ORLIX_INFRA_INFRA3_DETAIL_ALLOCATORSTRINGSTORAGE_H
#define ORLIX_INFRA_INFRA3_DETAIL_ALLOCATORSTRINGSTORAGE_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace Orlix {
namespace Infra {
namespace Detail {

/// Bookkeeping at the start of every heap block. SizeT is std::size_t for the general
/// storage and std::uint32_t for the compact one.
template <typename SizeT>
struct CBlockHeaderInternal
{
    SizeT m_size;     ///< characters in use, excluding the terminator
    SizeT m_capacity; ///< characters that fit, excluding the terminator
};

/// Shared implementation of the two heap policies. EmptyIsNull selects the representation of
/// the empty string: a null pointer (true) or a pointer to the shared empty block (false).
template <typename E, typename A, typename SizeT, bool EmptyIsNull>
class CHeapStringStorageInternal
    : private std::allocator_traits<A>::template rebind_alloc<CBlockHeaderInternal<SizeT>>
{
    using Header = CBlockHeaderInternal<SizeT>;
    using HeaderAlloc = typename std::allocator_traits<A>::template rebind_alloc<Header>;
    using HeaderTraits = std::allocator_traits<HeaderAlloc>;
    using Traits = std::char_traits<E>;

    static_assert(std::is_same<typename HeaderTraits::pointer, Header*>::value,
                  "heap string storage needs an allocator with raw pointers");
    static_assert(std::allocator_traits<A>::is_always_equal::value,
                  "heap string storage supports always-equal allocators only");
    static_assert(std::is_trivially_copyable<E>::value && std::is_trivial<E>::value,
                  "characters must be trivial types");
    static_assert(sizeof(E) <= sizeof(Header) && sizeof(Header) % alignof(E) == 0 &&
                      alignof(E) <= alignof(Header),
                  "characters must fit the header's alignment");

    /// The shared empty block: a header of zeros followed by a zero terminator. Zero
    /// initialised at load time, so it is usable from any static initialiser.
    struct CEmptyBlockInternal
    {
        Header m_header;
        E m_terminator;
    };
    static inline CEmptyBlockInternal s_emptyBlock{};

public:
    using value_type = E;
    using size_type = std::size_t;
    using allocator_type = A;

    /// An empty string; never allocates.
    CHeapStringStorageInternal() noexcept : m_block(emptyRep()) {}
    explicit CHeapStringStorageInternal(const A& a) noexcept : HeaderAlloc(a), m_block(emptyRep())
    {}
    /// The n characters at s; allocates only when n > 0.
    CHeapStringStorageInternal(const E* s, size_type n, const A& a = A())
        : HeaderAlloc(a), m_block(emptyRep())
    {
        if (n != 0) {
            m_block = allocateBlock(n);
            Traits::copy(chars(m_block), s, n);
            setSize(m_block, n);
        }
    }
    /// n copies of c; allocates only when n > 0.
    CHeapStringStorageInternal(size_type n, E c, const A& a = A())
        : HeaderAlloc(a), m_block(emptyRep())
    {
        if (n != 0) {
            m_block = allocateBlock(n);
            Traits::assign(chars(m_block), n, c);
            setSize(m_block, n);
        }
    }
    /// A copy sized to the source's length, not its capacity.
    CHeapStringStorageInternal(const CHeapStringStorageInternal& other)
        : CHeapStringStorageInternal(other.begin(), other.size(),
                                     A(static_cast<const HeaderAlloc&>(other)))
    {}
    /// Takes the block; other is left empty.
    CHeapStringStorageInternal(CHeapStringStorageInternal&& other) noexcept
        : HeaderAlloc(static_cast<HeaderAlloc&&>(other)), m_block(other.m_block)
    {
        other.m_block = emptyRep();
    }
    /// Reuses the existing block when it is large enough.
    CHeapStringStorageInternal& operator=(const CHeapStringStorageInternal& other)
    {
        if (this != &other) {
            if (other.size() <= capacity()) {
                assignInPlace(other.begin(), other.size());
            } else {
                CHeapStringStorageInternal copy(other);
                swap(copy);
            }
        }
        return *this;
    }
    CHeapStringStorageInternal& operator=(CHeapStringStorageInternal&& other) noexcept
    {
        if (this != &other) {
            release();
            m_block = other.m_block;
            other.m_block = emptyRep();
        }
        return *this;
    }
    ~CHeapStringStorageInternal() { release(); }

    E* begin() noexcept { return chars(readBlock()); }
    const E* begin() const noexcept { return chars(readBlock()); }
    E* end() noexcept { return begin() + size(); }
    const E* end() const noexcept { return begin() + size(); }
    const E* c_str() const noexcept { return begin(); }
    size_type size() const noexcept { return readBlock()->m_size; }
    size_type capacity() const noexcept { return readBlock()->m_capacity; }

    /// Largest length a block can describe and the allocator can provide.
    size_type max_size() const noexcept
    {
        const size_type byHeader = static_cast<size_type>(std::numeric_limits<SizeT>::max());
        const size_type byAlloc = HeaderTraits::max_size(static_cast<const HeaderAlloc&>(*this));
        const size_type byUnits = byAlloc > 2 ? (byAlloc - 2) * (sizeof(Header) / sizeof(E)) : 0;
        // Leave room for rounding a request up to whole header units.
        const size_type limit = byHeader < byUnits ? byHeader : byUnits;
        return limit - sizeof(Header) / sizeof(E) - 1;
    }

    A get_allocator() const noexcept { return A(static_cast<const HeaderAlloc&>(*this)); }

    /// Ensures capacity() >= n, keeping the contents. Allocates exactly what is asked for
    /// (rounded up to a whole header unit), not a geometric step.
    void reserve(size_type n)
    {
        if (n > capacity()) {
            reallocate(n);
        }
    }

    /// Appends the n characters at s, which may point into this string's own characters: the
    /// old block is released only after the copy.
    void append(const E* s, size_type n)
    {
        if (n == 0) {
            return;
        }
        const size_type oldSize = size();
        const size_type newSize = checkedSum(oldSize, n);
        if (newSize > capacity()) {
            Header* block = allocateBlock(grownCapacity(newSize));
            Traits::copy(chars(block), begin(), oldSize);
            Traits::copy(chars(block) + oldSize, s, n);
            adopt(block, newSize);
        } else {
            Traits::move(chars(m_block) + oldSize, s, n);
            setSize(m_block, newSize);
        }
    }

    /// Sets the length to n, filling new positions with c.
    void resize(size_type n, E c)
    {
        const size_type oldSize = size();
        if (n > capacity()) {
            reallocate(grownCapacity(n));
        }
        if (capacity() == 0) {
            return; // n == 0 on the shared empty block: nothing to write
        }
        if (n > oldSize) {
            Traits::assign(chars(m_block) + oldSize, n - oldSize, c);
        }
        setSize(m_block, n);
    }

    void swap(CHeapStringStorageInternal& other) noexcept { std::swap(m_block, other.m_block); }

    /// Returns the block to the allocator when the string is empty, or moves the characters
    /// into a block just big enough when that saves at least one allocation unit.
    void shrink_to_fit()
    {
        const size_type n = size();
        if (n == 0) {
            release();
            m_block = emptyRep();
        } else if (unitsFor(n) < unitsFor(capacity())) {
            reallocate(n);
        }
    }

private:
    static Header* emptyRep() noexcept
    {
        if constexpr (EmptyIsNull) {
            return nullptr;
        } else {
            return &s_emptyBlock.m_header;
        }
    }
    /// The block to read from: never null.
    Header* readBlock() const noexcept
    {
        if constexpr (EmptyIsNull) {
            return m_block != nullptr ? m_block : &s_emptyBlock.m_header;
        } else {
            return m_block;
        }
    }
    /// True when m_block was allocated by us. The shared empty block is recognised by its zero
    /// capacity rather than by its address: a program linking several shared objects built
    /// with hidden visibility may hold one copy of the empty block per object, and a string
    /// may be created in one and destroyed in another.
    bool ownsBlock() const noexcept
    {
        if constexpr (EmptyIsNull) {
            return m_block != nullptr;
        } else {
            // The address test is redundant but lets the compiler see that the local empty
            // block is never deallocated.
            return m_block != &s_emptyBlock.m_header && m_block->m_capacity != 0;
        }
    }
    static E* chars(Header* block) noexcept { return reinterpret_cast<E*>(block + 1); }
    static void setSize(Header* block, size_type n) noexcept
    {
        block->m_size = static_cast<SizeT>(n);
        chars(block)[n] = E();
    }

    /// Header units holding a header plus cap characters and the terminator.
    static size_type unitsFor(size_type cap) noexcept
    {
        return 1 + ((cap + 1) * sizeof(E) + sizeof(Header) - 1) / sizeof(Header);
    }

    size_type checkedSum(size_type a, size_type b) const
    {
        if (b > max_size() - a) {
            throw std::length_error("flex_string: length exceeds max_size()");
        }
        return a + b;
    }

    /// Doubles the capacity on growth so that repeated appends are amortised O(1).
    size_type grownCapacity(size_type needed) const noexcept
    {
        const size_type cap = capacity();
        const size_type limit = max_size();
        const size_type doubled = cap < limit / 2 ? 2 * cap : limit;
        return needed > doubled ? needed : doubled;
    }

    /// A fresh block with capacity() >= cap, holding the empty string.
    Header* allocateBlock(size_type cap)
    {
        if (cap > max_size()) {
            throw std::length_error("flex_string: length exceeds max_size()");
        }
        const size_type units = unitsFor(cap);
        Header* block = HeaderTraits::allocate(static_cast<HeaderAlloc&>(*this), units);
        const size_type usable = (units - 1) * sizeof(Header) / sizeof(E) - 1;
        ::new (static_cast<void*>(block)) Header{0, static_cast<SizeT>(usable)};
        chars(block)[0] = E();
        return block;
    }

    void release() noexcept
    {
        if (ownsBlock()) {
            const size_type units = unitsFor(m_block->m_capacity);
            HeaderTraits::deallocate(static_cast<HeaderAlloc&>(*this), m_block, units);
        }
    }

    /// Replaces the current block with block, which already holds n characters.
    void adopt(Header* block, size_type n) noexcept
    {
        setSize(block, n);
        release();
        m_block = block;
    }

    void reallocate(size_type cap)
    {
        Header* block = allocateBlock(cap);
        const size_type n = size();
        Traits::copy(chars(block), begin(), n);
        adopt(block, n);
    }

    /// Copies n characters (which do not alias this block) over the contents; n <= capacity().
    void assignInPlace(const E* s, size_type n) noexcept
    {
        if (capacity() != 0) {
            Traits::copy(chars(m_block), s, n);
            setSize(m_block, n);
        }
    }

    Header* m_block;
};

} // namespace Detail

/// Heap storage whose empty string points at a shared static block, so reads never branch.
/// The object is one pointer (plus the allocator when it is not empty). Growth doubles the
/// capacity; shrink_to_fit() gives the memory back.
template <typename E, typename A = std::allocator<E>>
class allocatorstringstorage : public Detail::CHeapStringStorageInternal<E, A, std::size_t, false>
{
    using Base = Detail::CHeapStringStorageInternal<E, A, std::size_t, false>;

public:
    using Base::Base;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_INFRA3_DETAIL_ALLOCATORSTRINGSTORAGE_H
