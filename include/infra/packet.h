/// @file
/// Packets: reference-counted byte buffers.
///
/// A Memory::CPacket is a handle to a shared control record that describes a byte buffer: its
/// data, the used length (size), the usable length (capacity) and an optional small extra area
/// for per-packet metadata (a header the caller fills in). Copies of a handle share the record
/// and never copy data; the memory goes back where it came from when the last handle lets go.
///
///     Orlix::Memory::CPacket packet(0, 32);        // capacity of at least 0, 32 extra bytes
///     Orlix::Memory::CPacket big(3000, 0);         // size 3000: a new packet counts as full
///     big.resize(0);                               // empty it, then append
///     big.putBuffer(bytes, 3000);                  // appends at most capacity() - size()
///     Orlix::Memory::CPacket copy = big;           // shares the record; count 2
///
/// Where the memory comes from:
///  - by size, from the packet manager (packetmanager.h). Under policySystem and policyPool
///    data, extra area and control record share one block (one allocation, one release); a
///    pool block may be larger than asked, and the surplus becomes capacity. Under
///    policyPoolData the data comes from the pool and the record with the extra area from the
///    heap; under policyNone creation by size fails.
///  - a caller's buffer: the packet takes the buffer as it is (size = capacity = the given
///    size) and calls the deleter, if any, once with (buffer, current size) when it dies.
///  - deferred: the size and a deleter are known, the data arrives later through one
///    putBuffer() that attaches the caller's pointer without copying; at death the deleter is
///    called with (context, capacity) if data was attached.
///  - a view: a window into another packet's data; the view keeps its parent alive.
///
/// Constructing any packet that takes memory ends the packet manager's configuration phase.
///
/// The extra size is stored in 8 bits: an extra size of 300 lays out 300 bytes but reports 44,
/// and one of 256 reports 0 (getExtraData() then returns null).
///
/// Thread-safety: the reference count is atomic, so handles that share a record may be copied,
/// assigned and destroyed on different threads, and the last one to let go frees the memory
/// on its own thread. Nothing else is synchronised: one handle must not be changed by two
/// threads at once, and writes to the data must be ordered by the caller (for example by
/// handing the packet over through a queue with a lock).
///
/// Failure: a creation that fails leaves an empty packet (valid() false) and logs why.
/// Operations on an empty packet return 0, null or false. putBuffer() past the capacity is cut
/// to the room left; resize() beyond the capacity returns false and changes nothing.
#ifndef ORLIX_INFRA_PACKET_H
#define ORLIX_INFRA_PACKET_H

#include "infra/defs.h"
#include "infra/function.h"

namespace Orlix {
namespace Memory {

class PacketInternal;

/// A handle to a reference-counted byte buffer with an optional extra area (packet.h says
/// where the memory comes from).
class ORLIX_API CPacket
{
public:
    /// The release procedure of a caller's buffer: called with (buffer, size) or, for a
    /// deferred packet, (context, capacity).
    using Deleter = Infra::TFunction2<void, void*, unsigned int>;

    /// An empty packet (valid() false).
    CPacket();

    /// A packet of size bytes with an extra area of extSize bytes, from the packet manager.
    /// size() is size and capacity() at least size. Empty when the memory cannot be had, or
    /// under policyNone.
    CPacket(unsigned int size, unsigned int extSize);

    /// Wraps the caller's buffer of size bytes (size = capacity = size, no extra area). When
    /// the last handle dies, deleter (if not empty) is called once with (buffer, size()).
    CPacket(void* buffer, unsigned int size, Deleter deleter);

    /// A deferred packet: size = capacity = size, no data until putBuffer(data, len)
    /// attaches data (without copying; size() becomes len). extSize bytes of extra area come
    /// from the heap. When the last handle dies and data was attached, deleter (if not empty)
    /// is called once with (context, capacity()). Empty when the extra area cannot be had.
    CPacket(unsigned int size, Deleter deleter, void* context, unsigned int extSize);

    /// A view of size bytes of parent's data from offset, with its own extra area of extSize
    /// bytes. The view keeps parent's record alive. Empty unless offset < parent.size() and
    /// size <= parent.size() - offset.
    CPacket(const CPacket& parent, unsigned int offset, unsigned int size, unsigned int extSize);

    /// Shares other's record.
    CPacket(const CPacket& other);

    /// Shares other's record, letting go of the own one; nothing when both share one record.
    CPacket& operator=(const CPacket& other);

    /// Lets go of the record; the last handle frees the memory.
    virtual ~CPacket();

    /// True unless the packet is empty.
    bool valid() const;

    /// Lets go of the record and becomes empty.
    void reset();

    /// The used length; 0 when empty.
    unsigned int size() const;

    /// The usable length from getBuffer(); 0 when empty.
    unsigned int capacity() const;

    /// The extra size, modulo 256; 0 when empty.
    unsigned int getExtraSize() const;

    /// The start of the data; null when empty, and for a deferred packet until data is
    /// attached.
    unsigned char* getBuffer() const;

    /// The start of the extra area; null when empty or when getExtraSize() is 0.
    void* getExtraData() const;

    /// Appends min(len, capacity() - size()) bytes of data after size() and returns how many
    /// were taken. A deferred packet instead attaches data itself (size() becomes len) and
    /// returns len. 0 when empty.
    unsigned int putBuffer(void* data, unsigned int len);

    /// Sets size() to n when n <= capacity() and returns true; false (and no change) otherwise
    /// or when empty. Bytes between the old and the new size keep what they held.
    bool resize(unsigned int n);

private:
    PacketInternal* m_internal;
};

} // namespace Memory
} // namespace Orlix

#endif // ORLIX_INFRA_PACKET_H
