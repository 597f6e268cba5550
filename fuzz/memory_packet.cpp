// The packet manager's buddy pool and the packets made from it, against a model of the buddy
// rules. The pool (policyPool: 100 chunks of 1024 bytes, so the free lists start as blocks of
// 64, 32 and 4 chunks; alignment 12 taken as 8) is configured once; every input runs a
// sequence of raw allocations and releases, packets by size, views, copies, resets, appends
// and resizes, and releases everything at the end. The model predicts every block: the
// smallest order that holds the request, the first block of the lowest non-empty list (lists
// are last in, first out), the high half kept on each split, merging with a free buddy of
// the same order on release. So each allocation must return the model's address, each
// refusal must be the model's, and the free size must match after every step whose op byte
// asks for it (bit 7 clear). Reading the free size makes the pool apply a release it has
// deferred; the steps that skip it let a release be followed directly by a request of the
// same order, which the pool may serve by taking the block just released straight back, and
// that must still be the model's block: addresses are compared at every step, observed or
// not. Packets must have the capacity, extra area and size the layout rules give, views the
// parent's bytes, and the bytes written through any handle must be seen through every other
// one. Packets over a caller's buffer must call their deleter exactly once, when the last
// handle or view goes, with the buffer and the size then in use (and never without a
// deleter).
#include "fuzz_check.h"

#include "infra/packet.h"
#include "infra/packetmanager.h"
#include "infra/print.h"
#include "memory/packet_internal.h"

#include <cstring>
#include <list>
#include <memory>
#include <vector>

using Orlix::Memory::CPacket;
using Orlix::Memory::CPacketManager;
using OrlixFuzz::check;

namespace {

constexpr size_t kChunk = 1024;
constexpr unsigned kBlocks = 100;
constexpr size_t kTotal = kChunk * kBlocks;
constexpr size_t kAlign = 8; // from alignSize 12
constexpr int kOrders = 7;   // floor(log2(100)) + 1
constexpr size_t kRecord = sizeof(Orlix::Memory::OldPacketInternal);

size_t alignUp(size_t n)
{
    return (n + kAlign - 1) & ~(kAlign - 1);
}

// The buddy allocator as the rules describe it, on chunk indexes.
class BuddyModel
{
public:
    BuddyModel() : m_order(kBlocks, 0)
    {
        unsigned start = 0;
        for (int j = kOrders - 1; j >= 0; --j) {
            if (kBlocks & (1u << j)) {
                m_order[start] = j + 1;
                m_lists[j].push_back(start);
                start += 1u << j;
            }
        }
    }

    // The chunk index of the block for size bytes, or -1 for a refusal; *bytes gets its size.
    int allocate(size_t size, size_t* bytes)
    {
        if (size == 0)
            return -1;
        int k = 0;
        while ((kChunk << k) < size) {
            ++k;
            if (k >= kOrders)
                return -1;
        }
        int j = k;
        while (j < kOrders && m_lists[j].empty())
            ++j;
        if (j == kOrders)
            return -1;
        unsigned s = m_lists[j].front();
        m_lists[j].pop_front();
        m_order[s] = 0;
        while (j > k) {
            --j;
            m_order[s] = j + 1;
            m_lists[j].push_front(s);
            s += 1u << j;
        }
        m_order[s] = -(k + 1);
        *bytes = kChunk << k;
        return static_cast<int>(s);
    }

    void release(unsigned id)
    {
        check(m_order[id] < 0, "model: release of a block not in use");
        int v = -m_order[id];
        while (v < kOrders) {
            const unsigned buddy = id ^ (1u << (v - 1));
            if (buddy >= kBlocks || m_order[buddy] != v)
                break;
            m_lists[v - 1].remove(buddy);
            m_order[buddy] = 0;
            id &= ~(1u << (v - 1));
            ++v;
        }
        m_order[id] = v;
        m_lists[v - 1].push_front(id);
    }

    size_t freeBytes() const
    {
        size_t chunks = 0;
        for (int j = 0; j < kOrders; ++j)
            chunks += m_lists[j].size() << j;
        return chunks * kChunk;
    }

private:
    std::vector<int> m_order; // k+1 for a free head, -(k+1) for a block in use
    std::list<unsigned> m_lists[kOrders];
};

BuddyModel* g_model;
unsigned char* g_base; // the pool's first chunk

// The model of one packet record. Its bytes are shadowed in g_shadow: the pool's at their
// offset in the pool, each caller buffer's in a range after them.
struct Record
{
    int refs = 1;
    int block = -1;           // pool chunk of a packet by size
    int parent = -1;          // record of a view's parent
    unsigned char* data;      // where the data start
    bool userBuffer = false;  // a caller's buffer
    bool userDeleter = false; // ... handed over with a deleter
    size_t offset;            // the data's first index in g_shadow
    unsigned size;
    unsigned capacity;
    unsigned extSize;
};
std::vector<Record> g_records;
std::vector<int> g_shadow; // per byte: its last written value, -1 when unknown

// Deleter calls of caller-buffer packets: those made and those the model expects.
std::vector<std::pair<void*, unsigned>> g_deleted;
std::vector<std::pair<void*, unsigned>> g_expectDeleted;

void deleteBuffer(void* data, unsigned int size)
{
    g_deleted.emplace_back(data, size);
    delete[] static_cast<unsigned char*>(data);
}

void releaseRecord(int r)
{
    Record& rec = g_records[static_cast<size_t>(r)];
    check(rec.refs > 0, "model: record released twice");
    if (--rec.refs > 0)
        return;
    if (rec.parent >= 0)
        releaseRecord(rec.parent);
    if (rec.block >= 0)
        g_model->release(static_cast<unsigned>(rec.block));
    if (rec.userBuffer && rec.userDeleter)
        g_expectDeleted.emplace_back(rec.data, rec.size); // with the size in use at the end
    else if (rec.userBuffer)
        delete[] rec.data; // without a deleter the buffer stays the caller's
}

struct Slot
{
    CPacket packet;
    int record = -1;
};

// Checks a handle against its record; the bytes too when withBytes is set.
void checkPacket(const Slot& slot, bool withBytes)
{
    const CPacket& p = slot.packet;
    if (slot.record < 0) {
        check(!p.valid() && p.size() == 0 && p.capacity() == 0 && p.getBuffer() == nullptr &&
                  p.getExtraData() == nullptr && p.getExtraSize() == 0,
              "empty packet not empty");
        return;
    }
    const Record& rec = g_records[static_cast<size_t>(slot.record)];
    check(p.valid(), "packet not valid");
    check(p.getBuffer() == rec.data, "packet data address");
    check(p.size() == rec.size, "packet size");
    check(p.capacity() == rec.capacity, "packet capacity");
    check(p.getExtraSize() == (rec.extSize & 0xFF), "packet extra size");
    check((p.getExtraData() == nullptr) == ((rec.extSize & 0xFF) == 0), "packet extra area");
    if (rec.block >= 0 && p.getExtraData() != nullptr)
        check(p.getExtraData() == g_base + rec.offset + rec.capacity, "extra area address");
    for (unsigned i = 0; withBytes && i < rec.size; ++i) {
        const int known = g_shadow[rec.offset + i];
        check(known < 0 || p.getBuffer()[i] == known, "packet bytes differ");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    Orlix::Infra::setPrintLogLevel(0); // refusals are logged by the thousand
    CPacketManager::PoolParameter param{kTotal, kChunk, 12};
    CPacketManager::config(CPacketManager::policyPool, nullptr, &param);
    unsigned char* origin = CPacketManager::instance()->getPoolBuffer();
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(origin) + kChunk - 1) & ~(kChunk - 1);
    g_base = origin + (aligned - reinterpret_cast<uintptr_t>(origin));
    g_model = new BuddyModel();
    g_shadow.assign(kTotal, -1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CPacketManager* manager = CPacketManager::instance();
    check(manager->getBufferSize() == kTotal, "buffer size");
    check(manager->getFreeSize() == kTotal, "pool not whole at the start");
    OrlixFuzz::Input in(data, size);
    g_records.clear();
    g_shadow.resize(kTotal);
    g_deleted.clear();
    g_expectDeleted.clear();
    std::vector<Slot> slots(8);
    std::vector<std::pair<void*, int>> raw; // raw blocks and their chunk
    unsigned steps = 0;

    while (!in.empty()) {
        const std::uint8_t byte = in.byte();
        const bool observe = (byte & 0x80) == 0; // read the free size after this step
        const std::uint8_t op = byte & 0x7F;
        Slot& slot = slots[(op >> 4) % slots.size()];
        Slot& other = slots[(op >> 1) % slots.size()];
        switch (op % 10) {
        case 0: { // raw allocation: sizes spread over every order and beyond the pool
            const std::uint32_t v = in.u32();
            const size_t request = (v & 0x80000000u) ? (v & 0xFFFF) : (v & 0x3FF) << (v >> 28 & 7);
            size_t bytes = 0;
            const int expect = g_model->allocate(request, &bytes);
            void* p = manager->malloc(static_cast<unsigned int>(request));
            if (expect < 0) {
                check(p == nullptr, "malloc served what the model refuses");
            } else {
                check(p == g_base + size_t(expect) * kChunk, "malloc address != model");
                raw.emplace_back(p, expect);
            }
            break;
        }
        case 1: // raw release
            if (!raw.empty()) {
                const size_t i = in.byte() % raw.size();
                manager->free(raw[i].first);
                g_model->release(static_cast<unsigned>(raw[i].second));
                raw.erase(raw.begin() + static_cast<long>(i));
            }
            break;
        case 2: { // a packet by size
            const unsigned req = in.u16() % 40000;
            const unsigned ext = in.u16() % 600;
            const size_t header = alignUp(ext + kRecord);
            size_t bytes = 0;
            const int expect = g_model->allocate(alignUp(req) + header, &bytes);
            if (slot.record >= 0)
                releaseRecord(slot.record);
            slot.record = -1;
            slot.packet = CPacket(req, ext);
            if (expect >= 0) {
                Record rec;
                rec.block = expect;
                rec.offset = size_t(expect) * kChunk;
                rec.data = g_base + rec.offset;
                rec.size = req;
                rec.capacity = static_cast<unsigned>(bytes - header);
                rec.extSize = ext;
                for (unsigned i = 0; i < rec.capacity; ++i)
                    g_shadow[rec.offset + i] = -1;
                g_records.push_back(rec);
                slot.record = static_cast<int>(g_records.size() - 1);
            }
            break;
        }
        case 3: { // a view of another slot's packet
            const unsigned offset = in.u16() % 2048;
            const unsigned length = in.u16() % 2048;
            const unsigned ext = in.byte() * 3u;
            CPacket view(other.packet, offset, length, ext);
            int record = -1;
            if (other.record >= 0) {
                const Record& parent = g_records[static_cast<size_t>(other.record)];
                if (offset < parent.size && length <= parent.size - offset) {
                    Record rec;
                    rec.parent = other.record;
                    ++g_records[static_cast<size_t>(other.record)].refs;
                    rec.offset = parent.offset + offset;
                    rec.data = parent.data + offset;
                    rec.size = rec.capacity = length;
                    rec.extSize = ext;
                    g_records.push_back(rec);
                    record = static_cast<int>(g_records.size() - 1);
                }
            }
            check(view.valid() == (record >= 0), "view validity != model");
            // The slot takes the view (its old record is released first); the local handle
            // goes at the end of this block.
            if (slot.record >= 0)
                releaseRecord(slot.record);
            slot.packet = view;
            slot.record = record;
            if (record >= 0)
                ++g_records[static_cast<size_t>(record)].refs;
            view.reset();
            if (record >= 0)
                releaseRecord(record);
            break;
        }
        case 4: // copy assignment between handles
            if (&slot != &other) {
                if (other.record >= 0)
                    ++g_records[static_cast<size_t>(other.record)].refs;
                if (slot.record >= 0)
                    releaseRecord(slot.record);
                slot.packet = other.packet;
                slot.record = other.record;
            }
            break;
        case 5: // reset
            slot.packet.reset();
            if (slot.record >= 0)
                releaseRecord(slot.record);
            slot.record = -1;
            break;
        case 6: { // append
            const std::string bytes = in.text(200);
            const unsigned got = slot.packet.putBuffer(const_cast<char*>(bytes.data()),
                                                       static_cast<unsigned>(bytes.size()));
            if (slot.record < 0) {
                check(got == 0, "putBuffer on an empty packet");
                break;
            }
            Record& rec = g_records[static_cast<size_t>(slot.record)];
            const unsigned room = rec.capacity - rec.size;
            const unsigned n = static_cast<unsigned>(bytes.size()) < room
                                   ? static_cast<unsigned>(bytes.size())
                                   : room;
            check(got == n, "putBuffer count != room");
            for (unsigned i = 0; i < n; ++i)
                g_shadow[rec.offset + rec.size + i] = static_cast<unsigned char>(bytes[i]);
            rec.size += n;
            break;
        }
        case 7: { // resize
            const unsigned n = in.u16() % 5000;
            const bool ok = slot.packet.resize(n);
            if (slot.record < 0) {
                check(!ok, "resize on an empty packet");
                break;
            }
            Record& rec = g_records[static_cast<size_t>(slot.record)];
            check(ok == (n <= rec.capacity), "resize result");
            if (ok)
                rec.size = n;
            break;
        }
        case 9: { // a caller's buffer, with or without a deleter
            const std::string bytes = in.text(255);
            const bool withDeleter = (in.byte() & 1) != 0;
            unsigned char* buffer = new unsigned char[bytes.size() + 1];
            std::memcpy(buffer, bytes.data(), bytes.size());
            CPacket packet(buffer, static_cast<unsigned>(bytes.size()),
                           withDeleter ? CPacket::Deleter(&deleteBuffer) : CPacket::Deleter());
            Record rec;
            rec.data = buffer;
            rec.userBuffer = true;
            rec.userDeleter = withDeleter;
            rec.offset = g_shadow.size();
            rec.size = rec.capacity = static_cast<unsigned>(bytes.size());
            rec.extSize = 0;
            for (const char c : bytes)
                g_shadow.push_back(static_cast<unsigned char>(c));
            g_records.push_back(rec);
            const int record = static_cast<int>(g_records.size() - 1);
            check(packet.valid(), "caller-buffer packet not valid");
            if (slot.record >= 0)
                releaseRecord(slot.record);
            slot.packet = packet;
            slot.record = record;
            ++g_records[static_cast<size_t>(record)].refs;
            packet.reset();
            releaseRecord(record);
            break;
        }
        default: { // write through getBuffer
            if (slot.record >= 0) {
                Record& rec = g_records[static_cast<size_t>(slot.record)];
                if (rec.size > 0) {
                    const unsigned at = in.u16() % rec.size;
                    const unsigned char value = in.byte();
                    slot.packet.getBuffer()[at] = value;
                    g_shadow[rec.offset + at] = value;
                }
            }
            break;
        }
        }
        // Every handle's sizes after each step; the bytes of the handles just used, and of all
        // handles every 16 steps (a byte written through one handle shows through the others).
        // None of these reads the pool's lists; the free size, when asked for, does.
        ++steps;
        for (const Slot& s : slots)
            checkPacket(s, &s == &slot || &s == &other || steps % 16 == 0);
        if (observe)
            check(manager->getFreeSize() == g_model->freeBytes(), "free size != model");
        check(g_deleted == g_expectDeleted, "deleter calls != model");
    }

    for (const Slot& s : slots)
        checkPacket(s, true);
    for (Slot& s : slots) {
        s.packet.reset();
        if (s.record >= 0)
            releaseRecord(s.record);
    }
    for (auto& block : raw) {
        manager->free(block.first);
        g_model->release(static_cast<unsigned>(block.second));
    }
    check(g_deleted == g_expectDeleted, "deleter calls != model");
    manager->free(nullptr); // ignored
    check(manager->getFreeSize() == kTotal, "pool not whole after every release");
    check(g_model->freeBytes() == kTotal, "model: pool not whole after every release");
    return 0;
}
