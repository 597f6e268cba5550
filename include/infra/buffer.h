/// @file
/// A growable byte buffer.
///
/// CBuffer appends bytes and grows its memory when they do not fit: either to exactly what is
/// needed, or, once a growth step is set, to the next multiple of that step (fewer copies for
/// a buffer that grows often). The bookkeeping lives in a small header at the front of the
/// same heap block as the data, so an empty CBuffer object is one pointer.
///
///     Orlix::Memory::CBuffer buffer;
///     buffer.putBuffer(hello, 5);        // capacity 5, size 5
///     buffer.setIncreasedSize(4096);     // from now on grow in steps of 4096
///     buffer.putBuffer(body, 100);       // capacity 4096, size 105
///     use(buffer.getBuffer(), buffer.size());
///
/// The header holds four pointer-sized words: the block's own address, the size in use, the
/// capacity and the growth step; the data start right behind it, so they keep the heap's
/// alignment. The step lives in the header: a buffer without memory has none, and reset()
/// forgets it.
///
/// Every growth moves the data to a new block, so pointers from getBuffer() are valid only
/// until the next call that may grow (putBuffer, resize, reserve).
///
/// Thread-safety: none; a buffer belongs to one thread at a time.
///
/// Failure: a heap allocation that fails is logged at info level; putBuffer() then returns 0,
/// and every operation leaves the earlier block and contents as they were. A size that would
/// not fit in 32 bits counts as a failed allocation.
#ifndef ORLIX_INFRA_BUFFER_H
#define ORLIX_INFRA_BUFFER_H

#include "infra/defs.h"

namespace Orlix {
namespace Memory {

/// A growable byte buffer whose bookkeeping shares one heap block with the data.
class ORLIX_API CBuffer
{
public:
    /// A buffer without memory.
    CBuffer();
    /// Frees the memory, if any.
    ~CBuffer();
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    /// Appends len bytes of data, growing as needed (the first call takes exactly len bytes).
    /// data may point into this buffer's own bytes (they are found again after a move).
    /// Returns len, or 0 when memory could not be had.
    unsigned int putBuffer(unsigned char* data, unsigned int len);

    /// The data, or null when there is no memory or size() is 0.
    unsigned char* getBuffer() const;

    /// Bytes in use; 0 without memory.
    unsigned int size() const;

    /// Bytes available for data; 0 without memory.
    unsigned int capacity() const;

    /// Sets the size to n, growing (by the step) when n exceeds the capacity. New bytes are
    /// not initialised. On a failed allocation nothing changes.
    void resize(unsigned int n);

    /// Makes the capacity at least n (exactly n when it has to grow; the step does not
    /// apply). The size does not change.
    void reserve(unsigned int n);

    /// Frees the memory; the buffer has no memory and no step again.
    void reset();

    /// Sets the growth step (0: grow to exactly what is needed). Without memory, first takes a
    /// block of step bytes.
    void setIncreasedSize(unsigned int step);

private:
    struct BufferInternal;
    BufferInternal* m_internal; ///< the heap block's header, or null
};

} // namespace Memory
} // namespace Orlix

#endif // ORLIX_INFRA_BUFFER_H
