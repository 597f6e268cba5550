/// @file
/// Legacy packet classes in the global namespace: CPacket, IPacketManager, CSharePacketHelper.
///
/// Kept for older callers; new code uses Orlix::Memory::CPacket (packet.h) and
/// Orlix::Memory::CPacketManager (packetmanager.h). The legacy ::CPacket wraps a heap-held
/// Memory::CPacket and calls its extra area the header; every legacy packet made by size gets
/// a header of the process-wide legacy header size (128 unless IPacketManager::config set
/// another).
///
///     IPacketManager::config(4 * 1024 * 1024, 1024, 64);   // before first use: pool-data policy
///     ::CPacket packet(1500);                             // 1500 bytes, 64-byte header
///     packet.ClearHeader();
///     packet.SetLength(0);
///     packet.PutBuffer(payload, 1500);
///     Orlix::Memory::CPacket modern = packet;              // shares the same record
///
/// Thread-safety: as Memory::CPacket. Copies may live on different threads; one legacy object
/// must not be changed by two threads at once. The header size may be changed at any time and
/// applies to packets made afterwards.
///
/// Failure: a legacy packet whose creation failed is invalid (Invalid() true); every operation
/// on it returns 0 or null and does nothing.
#ifndef ORLIX_INFRA_LEGACY_PACKET_H
#define ORLIX_INFRA_LEGACY_PACKET_H

#include "infra/defs.h"
#include "infra/function.h"
#include "infra/packet.h"

/// The legacy packet: a heap-held Orlix::Memory::CPacket whose extra area is the header.
class ORLIX_API CPacket
{
public:
    /// An invalid packet.
    CPacket();

    /// A packet of size bytes (and capacity) with a header of the legacy header size. Invalid
    /// when the packet cannot be made, also when size does not fit in 32 bits (logged).
    explicit CPacket(unsigned long size);

    /// A deferred packet (see Memory::CPacket) with a header of the legacy header size.
    CPacket(unsigned int size, Orlix::Infra::TFunction2<void, void*, unsigned int> deleter,
            void* context);

    /// Shares other's packet; invalid when other is.
    CPacket(const CPacket& other);

    /// Shares p; invalid when p is empty.
    CPacket(const Orlix::Memory::CPacket& p); // NOLINT(google-explicit-constructor)

    /// Shares other's packet, or becomes invalid when other is.
    CPacket& operator=(const CPacket& other);

    /// Lets go of the packet.
    ~CPacket();

    /// A Memory::CPacket sharing this packet, or an empty one.
    operator Orlix::Memory::CPacket() const; // NOLINT(google-explicit-constructor)

    /// True when the packet holds memory.
    bool Valid() const;
    /// True when it does not.
    bool Invalid() const;

    /// The capacity.
    unsigned long GetSize() const;
    /// The used length.
    unsigned long GetLength() const;
    /// Capacity minus used length.
    unsigned long GetLeft() const;
    /// Sets the used length; 1 when n <= capacity, else 0 (nothing changes).
    unsigned long SetLength(unsigned long n);
    /// Appends at most GetLeft() bytes; returns how many were taken.
    unsigned long PutBuffer(void* data, unsigned long len);
    /// The data.
    unsigned char* GetBuffer() const;
    /// The header (the extra area); null when the header size is 0 modulo 256.
    unsigned char* GetHeader() const;
    /// The header size (modulo 256).
    unsigned long GetHeaderSize() const;
    /// Fills the header with GetHeaderSize() zero bytes.
    void ClearHeader();

private:
    Orlix::Memory::CPacket* m_packet;
};

/// The legacy packet manager: the pool's size and free space, and its dump.
class ORLIX_API IPacketManager
{
public:
    /// Virtual, for the derived process-wide manager.
    virtual ~IPacketManager();
    /// Memory::CPacketManager::getBufferSize().
    virtual unsigned int GetBufferSize() = 0;
    /// Memory::CPacketManager::getFreeSize().
    virtual unsigned int GetFreeSize() = 0;
    /// Memory::CPacketManager::dumpNodes().
    virtual void DumpNodes() = 0;

    /// The process-wide legacy manager, created on first call.
    static IPacketManager* instance();

    /// Sets the legacy header size to headerSize (always, even when the packet manager is
    /// configured already), then configures the packet manager with policyPoolData and a pool
    /// of totalSize bytes in chunks of chunkSize (alignment 4). The packet manager's checks
    /// and its warning after the configuration phase apply.
    static void config(int totalSize, int chunkSize, int headerSize);

protected:
    /// Only the library makes the manager; instance() returns it.
    IPacketManager() = default;
    /// Copies nothing: the manager has no state of its own.
    IPacketManager(const IPacketManager&) = default;
    /// Copies nothing: the manager has no state of its own.
    IPacketManager& operator=(const IPacketManager&) = default;
};

/// An argument record for CSharePacketHelper; never read.
struct BaseArg
{};

/// An inactive helper kept for older callers: it shares nothing and describes nothing.
class ORLIX_API CSharePacketHelper
{
public:
    /// The process-wide helper; exists from library load.
    static CSharePacketHelper* instance();
    /// Returns false and does nothing.
    bool initSharePacket(BaseArg* arg);
    /// A copy of p sharing its packet.
    CPacket toDescribePacket(const CPacket& p);
    /// A copy of p sharing its packet.
    CPacket toOriginalPacket(const CPacket& p);
    /// Does nothing.
    CSharePacketHelper& operator=(const CSharePacketHelper& other);

    /// A helper like the process-wide one; it has no state.
    CSharePacketHelper() = default;
    /// Copies nothing: the helper has no state.
    CSharePacketHelper(const CSharePacketHelper&) = default;
};

#endif // ORLIX_INFRA_LEGACY_PACKET_H
