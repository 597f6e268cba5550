// Memory: the packet manager's pool, reference-counted packets (by size, views, a caller's
// buffer), the fixed-size block pool and the growable buffer.
//
// Build: g++ -std=c++17 memory.cpp $(pkg-config --cflags --libs orlix)
#include <infra/buffer.h>
#include <infra/mempool.h>
#include <infra/packet.h>
#include <infra/packetmanager.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

using Orlix::Memory::CBuffer;
using Orlix::Memory::CPacketManager;
using Orlix::Memory::Detail::CMemPool;
using Packet = Orlix::Memory::CPacket; // the legacy layer has a global ::CPacket

namespace {

// The release procedure of a caller's buffer: called once, by the last handle.
int g_released = 0;
void releaseBuffer(void* buffer, unsigned int /*size*/)
{
    std::free(buffer);
    ++g_released;
}

} // namespace

int main()
{
    // The packet manager takes its configuration only before its first use: configure it
    // first thing in main, before any packet exists. Here: a 1 MiB pool in 1 KiB chunks.
    CPacketManager::PoolParameter pool = {1024 * 1024, 1024, 4};
    CPacketManager::config(CPacketManager::policyPool, nullptr, &pool);
    CPacketManager* manager = CPacketManager::instance();
    const unsigned int whole = manager->getFreeSize();

    // 3000 bytes plus the packet's control record: one pool block of four chunks.
    Packet packet(3000, 0);
    packet.resize(0); // a new packet counts as full: empty it to append
    char record[] = "temperature=21.5;";
    while (packet.putBuffer(record, sizeof(record) - 1) == sizeof(record) - 1) {
    }
    std::printf("packet: %u bytes used of %u; the pool lent %u bytes\n", packet.size(),
                packet.capacity(), whole - manager->getFreeSize());

    // Copies share the data (an atomic count); the last handle returns the block, on
    // whichever thread lets go last. Starting a thread orders the writes before its reads.
    Packet copy = packet;
    packet.reset();
    std::thread reader([&copy] {
        Packet mine = copy;
        copy.reset();
        std::printf("reader sees \"%.17s...\"\n", reinterpret_cast<char*>(mine.getBuffer()));
    }); // mine, the last handle, goes here: the block merges back into the pool
    reader.join();
    const bool poolWhole = manager->getFreeSize() == whole;

    // A view: a window into another packet that keeps its parent alive.
    Packet frame(64, 0);
    std::memcpy(frame.getBuffer(), "HEADERpayload", 13);
    Packet payload(frame, 6, 7, 0);
    frame.reset();
    const bool viewOk = payload.valid() && std::memcmp(payload.getBuffer(), "payload", 7) == 0;
    payload.reset(); // the last handle of the view releases the parent's block too

    // A caller's buffer: the packet takes it as it is and calls the deleter once at the end.
    {
        void* buffer = std::malloc(256);
        Packet wrapped(buffer, 256, Packet::Deleter(&releaseBuffer));
        Packet second = wrapped;
    }

    // A pool of equal-sized blocks: constant-time malloc/free, freed blocks reused first.
    CMemPool sessions(48, 64);
    void* a = sessions.malloc();
    sessions.free(a);
    const bool reused = sessions.malloc() == a;

    // A growable buffer: grows to what is needed, or in steps once a step is set.
    CBuffer buffer;
    buffer.setIncreasedSize(256);
    for (int i = 0; i < 100; ++i)
        buffer.putBuffer(reinterpret_cast<unsigned char*>(record), 5);
    std::printf("buffer: %u bytes in a capacity of %u\n", buffer.size(), buffer.capacity());

    const bool ok = poolWhole && viewOk && g_released == 1 && reused && buffer.size() == 500 &&
                    buffer.capacity() == 512 && manager->getFreeSize() == whole;
    std::printf("memory: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
