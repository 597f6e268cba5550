// The uplink thread: the consumer end of the packet queue. Every packet's reading is
// appended to the readings file and uploaded to the collector; then the packet's last handle
// goes, and its block returns to the pool on this thread.
#include "service.h"

#include <cstdio>
#include <cstring>

using Orlix::Infra::CFile;
using Orlix::Infra::CThreadLite;
using Time = Orlix::Infra::CTime; // the legacy layer has a global ::CTime too
using Orlix::Infra::TFunction1;

Uplink::Uplink(PacketQueue& queue, Collector& collector, const std::string& readingsPath)
    : m_queue(queue), m_collector(collector), m_path(readingsPath),
      m_thread(TFunction1<void, CThreadLite&>(&Uplink::run, this), "uplink", 64, 0, 0)
{}

bool Uplink::start()
{
    if (!m_file.open(m_path.c_str(), CFile::accessWrite | CFile::openCreate))
        return false;
    m_file.puts("time,sensor,reading,celsius,queued ms\n");
    return m_thread.createThread();
}

void Uplink::stop()
{
    m_thread.destroyThread(); // the body drains the queue before it returns
    m_file.close();
}

void Uplink::run(CThreadLite& self)
{
    Packet packet;
    while (self.looping()) {
        self.setTimeout(300);
        if (m_queue.pop(packet, 20)) {
            deliver(packet);
            packet.reset(); // the last handle: the block goes back to the pool here
        }
    }
    while (m_queue.pop(packet, 0)) // stopping: what the sensors queued last
        deliver(packet);
}

void Uplink::deliver(const Packet& packet)
{
    ReadingHeader header;
    std::memcpy(&header, packet.getExtraData(), sizeof(header));
    char now[32];
    Time::getCurrentTime().format(now); // "yyyy-MM-dd HH:mm:ss", the process-wide format
    char line[128];
    const int n = std::snprintf(
        line, sizeof(line), "%s,%.*s,%llu\n", now, static_cast<int>(packet.size()),
        reinterpret_cast<const char*>(packet.getBuffer()),
        static_cast<unsigned long long>(Time::getCurrentMilliSecond() - header.takenMs));
    m_file.write(line, static_cast<unsigned int>(n));
    m_collector.upload(packet);
    ++m_delivered;
}
