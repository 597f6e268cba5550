// Legacy ::CPacket, IPacketManager and CSharePacketHelper.
#include "infra/legacy_packet.h"

#include "infra/packetmanager.h"
#include "infra/print.h"
#include "infra3/diag.h"
#include "infra3/singleton.h"

#include <atomic>
#include <cstring>
#include <new>

namespace {

// The header size of legacy packets made from now on; may change at any time.
std::atomic<int> g_headerSize{128};

// A negative size configured by mistake means no header.
unsigned int headerSize()
{
    const int size = g_headerSize.load();
    return size > 0 ? static_cast<unsigned int>(size) : 0;
}

// Keeps p when it holds a valid packet; otherwise deletes it and returns null.
Orlix::Memory::CPacket* keepIfValid(Orlix::Memory::CPacket* p)
{
    if (p != nullptr && !p->valid()) {
        delete p;
        return nullptr;
    }
    return p;
}

// A packet of size bytes with the legacy header, or null. Sizes are 32-bit inside: a wider
// one is refused rather than cut to its low bits (which would hand out a small packet).
Orlix::Memory::CPacket* packetOfSize(unsigned long size)
{
    if (size > 0xFFFFFFFFul) {
        logWarn(ORLIX_FN_FMT "CPacket::CPacket(): size(%lu) does not fit in 32 bits\n",
                ORLIX_FN_ARGS, size);
        return nullptr;
    }
    return keepIfValid(new Orlix::Memory::CPacket(static_cast<unsigned int>(size), headerSize()));
}

// A heap copy sharing p, or null when p is empty.
Orlix::Memory::CPacket* shareOf(const Orlix::Memory::CPacket& p)
{
    return p.valid() ? new Orlix::Memory::CPacket(p) : nullptr;
}

// The one implementation of IPacketManager: forwards to the packet manager.
class CPacketManager : public IPacketManager
{
public:
    static CPacketManager* instance()
    {
        return Orlix::Infra::Detail::CSingleton<CPacketManager>::instance(
            __FILE__, "CPacketManager::instance", __LINE__);
    }

    unsigned int GetBufferSize() override
    {
        return Orlix::Memory::CPacketManager::instance()->getBufferSize();
    }
    unsigned int GetFreeSize() override
    {
        return Orlix::Memory::CPacketManager::instance()->getFreeSize();
    }
    void DumpNodes() override { Orlix::Memory::CPacketManager::instance()->dumpNodes(); }
};

CSharePacketHelper g_sharePacketHelper;

} // namespace

// ---------------------------------------------------------------------------------------------
// ::CPacket
// ---------------------------------------------------------------------------------------------

CPacket::CPacket() : m_packet(nullptr) {}

CPacket::CPacket(unsigned long size) : m_packet(packetOfSize(size)) {}

CPacket::CPacket(unsigned int size, Orlix::Infra::TFunction2<void, void*, unsigned int> deleter,
                 void* context)
    : m_packet(keepIfValid(new Orlix::Memory::CPacket(size, deleter, context, headerSize())))
{}

CPacket::CPacket(const CPacket& other)
    : m_packet(other.m_packet != nullptr ? shareOf(*other.m_packet) : nullptr)
{}

CPacket::CPacket(const Orlix::Memory::CPacket& p) : m_packet(shareOf(p)) {}

CPacket& CPacket::operator=(const CPacket& other)
{
    if (this == &other)
        return *this;
    if (other.m_packet == nullptr || !other.m_packet->valid()) {
        delete m_packet;
        m_packet = nullptr;
    } else if (m_packet != nullptr) {
        *m_packet = *other.m_packet;
    } else {
        m_packet = new Orlix::Memory::CPacket(*other.m_packet);
    }
    return *this;
}

CPacket::~CPacket()
{
    delete m_packet;
}

CPacket::operator Orlix::Memory::CPacket() const
{
    return m_packet != nullptr ? *m_packet : Orlix::Memory::CPacket();
}

bool CPacket::Valid() const
{
    return m_packet != nullptr;
}

bool CPacket::Invalid() const
{
    return m_packet == nullptr;
}

unsigned long CPacket::GetSize() const
{
    return m_packet != nullptr ? m_packet->capacity() : 0;
}

unsigned long CPacket::GetLength() const
{
    return m_packet != nullptr ? m_packet->size() : 0;
}

unsigned long CPacket::GetLeft() const
{
    return m_packet != nullptr ? m_packet->capacity() - m_packet->size() : 0;
}

unsigned long CPacket::SetLength(unsigned long n)
{
    if (m_packet == nullptr || n > 0xFFFFFFFFul)
        return 0;
    return m_packet->resize(static_cast<unsigned int>(n)) ? 1 : 0;
}

unsigned long CPacket::PutBuffer(void* data, unsigned long len)
{
    if (m_packet == nullptr)
        return 0;
    const unsigned int n = len > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<unsigned int>(len);
    return m_packet->putBuffer(data, n);
}

unsigned char* CPacket::GetBuffer() const
{
    return m_packet != nullptr ? m_packet->getBuffer() : nullptr;
}

unsigned char* CPacket::GetHeader() const
{
    return m_packet != nullptr ? static_cast<unsigned char*>(m_packet->getExtraData()) : nullptr;
}

unsigned long CPacket::GetHeaderSize() const
{
    return m_packet != nullptr ? m_packet->getExtraSize() : 0;
}

void CPacket::ClearHeader()
{
    unsigned char* header = GetHeader();
    if (header != nullptr)
        std::memset(header, 0, GetHeaderSize());
}

// ---------------------------------------------------------------------------------------------
// IPacketManager
// ---------------------------------------------------------------------------------------------

IPacketManager::~IPacketManager() = default;

IPacketManager* IPacketManager::instance()
{
    return CPacketManager::instance();
}

void IPacketManager::config(int totalSize, int chunkSize, int headerSize)
{
    g_headerSize.store(headerSize);
    Orlix::Memory::CPacketManager::PoolParameter param = {static_cast<size_t>(totalSize),
                                                          static_cast<size_t>(chunkSize), 4};
    Orlix::Memory::CPacketManager::config(Orlix::Memory::CPacketManager::policyPoolData, nullptr,
                                          &param);
}

// ---------------------------------------------------------------------------------------------
// CSharePacketHelper
// ---------------------------------------------------------------------------------------------

CSharePacketHelper* CSharePacketHelper::instance()
{
    return &g_sharePacketHelper;
}

bool CSharePacketHelper::initSharePacket(BaseArg* /*arg*/)
{
    return false;
}

CPacket CSharePacketHelper::toDescribePacket(const CPacket& p)
{
    return p;
}

CPacket CSharePacketHelper::toOriginalPacket(const CPacket& p)
{
    return p;
}

CSharePacketHelper& CSharePacketHelper::operator=(const CSharePacketHelper& /*other*/)
{
    return *this;
}
