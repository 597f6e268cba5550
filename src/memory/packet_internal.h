// The control record of a packet (internal).
//
// PacketInternal is the record interface a Memory::CPacket handle points to; OldPacketInternal
// is its one implementation. Where a record lives depends on how the packet was made:
//
//   by size, policySystem/policyPool   one block from the packet manager:
//                                      [data ... capacity][extra area][pad][record]
//   by size, policyPoolData            data from the pool; a heap block [extra][pad][record]
//   view                               a heap block [extra][pad][record]
//   caller buffer, deferred            the record alone from `new`; a deferred packet's
//                                      extra area is a separate heap block of extSize bytes
//
// A record placed in a block sits in the block's last sizeof(OldPacketInternal) bytes; the
// packet manager's alignment is at least a pointer's size, so that place is aligned.
#ifndef ORLIX_SRC_MEMORY_PACKET_INTERNAL_H
#define ORLIX_SRC_MEMORY_PACKET_INTERNAL_H

#include "infra/packet.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Orlix {
namespace Memory {

class PacketInternal
{
public:
    // Frees the record's memory; called by release() when the count reaches 0.
    virtual void destroy() = 0;
    // Atomic increment; returns the new count.
    virtual int addRef() = 0;
    // Atomic decrement, destroy() at 0; returns the new count.
    virtual int release() = 0;
    virtual unsigned int putBuffer(void* data, unsigned int len) = 0;
    virtual unsigned char* getBuffer() = 0;
    virtual unsigned int size() = 0;
    virtual bool resize(unsigned int n) = 0;
    virtual unsigned int capacity() = 0;
    virtual void* getExtraData() = 0;
    virtual unsigned int getExtraSize() = 0;

protected:
    PacketInternal() = default;
    ~PacketInternal() = default;
};

class OldPacketInternal final : public PacketInternal
{
public:
    enum Kind : std::uint8_t
    {
        kindAllocated = 0, // made by size; also a deferred packet
        kindView = 1,
        kindUserBuffer = 2
    };

    // The four ways to make a record; each returns null (after logging why) on failure.
    static PacketInternal* createBySize(unsigned int size, unsigned int extSize);
    static PacketInternal* createView(const CPacket& parent, unsigned int offset, unsigned int size,
                                      unsigned int extSize);
    static PacketInternal* createUserBuffer(void* buffer, unsigned int size,
                                            const CPacket::Deleter& deleter);
    static PacketInternal* createDeferred(unsigned int size, const CPacket::Deleter& deleter,
                                          void* context, unsigned int extSize);

    void destroy() override;
    int addRef() override;
    int release() override;
    unsigned int putBuffer(void* data, unsigned int len) override;
    unsigned char* getBuffer() override { return m_data; }
    unsigned int size() override { return m_size; }
    bool resize(unsigned int n) override;
    unsigned int capacity() override { return m_capacity; }
    void* getExtraData() override { return m_extraSize > 0 ? m_extraData : nullptr; }
    unsigned int getExtraSize() override { return m_extraSize; }

    // The packet's kind and the count, for tests.
    Kind kind() const { return static_cast<Kind>(m_kind); }
    int refCount() const { return m_refCount.load(std::memory_order_acquire); }

private:
    OldPacketInternal() = default;
    ~OldPacketInternal() = default;
    OldPacketInternal(const OldPacketInternal&) = delete;
    OldPacketInternal& operator=(const OldPacketInternal&) = delete;

    // Builds a record in the last sizeof(OldPacketInternal) bytes of a block of blockSize.
    static OldPacketInternal* placeAtEnd(void* block, size_t blockSize);
    // Runs the kind's cleanup: the deleters and the parent reference.
    void cleanup();

    std::atomic<std::int32_t> m_refCount{1};
    unsigned char* m_data = nullptr;
    std::uint32_t m_size = 0;
    std::uint32_t m_capacity = 0;
    void* m_extraData = nullptr;
    std::uint8_t m_extraSize = 0; // the requested extra size modulo 256
    std::uint8_t m_kind = kindAllocated;
    CPacket* m_parent = nullptr; // a view's heap copy of its parent
    CPacket::Deleter m_deleter;
    bool m_deferred = false;
    CPacket::Deleter m_attachDeleter;
    void* m_attachContext = nullptr;
};

namespace Detail {

// R: the byte size of one control record, which the layouts above reserve per packet.
constexpr size_t packetRecordSize()
{
    return sizeof(OldPacketInternal);
}

} // namespace Detail
} // namespace Memory
} // namespace Orlix

#endif // ORLIX_SRC_MEMORY_PACKET_INTERNAL_H
