// The sensor threads and the queue that carries their packets to the uplink thread.
//
// Each reading becomes a packet from the pool: its text in the data, a small header in the
// packet's extra area. The packet handle goes onto the queue (copying a handle copies no
// data); the uplink thread drops the last handle, and the block returns to the pool on that
// thread.
#include "sensordriver.h"
#include "service.h"

#include <cstdio>
#include <cstring>
#include <string>

using Orlix::Infra::CThread;
using Orlix::Infra::CThreadLite;
using Time = Orlix::Infra::CTime; // the legacy layer has a global ::CTime too
using Orlix::Infra::TFunction1;
using Orlix::Infra::TGuard;

namespace {

constexpr int kPeriodMs = 100;   // one reading every 100 ms
constexpr int kDeadlineMs = 200; // the thread's watchdog deadline, renewed every round
constexpr int kStallMs = 450;    // how long the bus hangs when it does

} // namespace

void PacketQueue::push(Packet& packet)
{
    {
        TGuard<Orlix::Infra::CMutex> guard(m_lock);
        m_packets.push_back(packet); // a second handle: the count rises, no data is copied
        packet.reset();              // and the caller's goes
    }
    m_ready.post();
}

bool PacketQueue::pop(Packet& packet, unsigned int timeoutMs)
{
    if (m_ready.pend(timeoutMs) != 0)
        return false;
    TGuard<Orlix::Infra::CMutex> guard(m_lock);
    packet = m_packets.front();
    m_packets.pop_front();
    return true;
}

Sensor::Sensor(int number, ISensorDriver* driver, PacketQueue& queue, unsigned int stallAt)
    : m_number(number), m_driver(driver), m_queue(queue), m_stallAt(stallAt),
      m_thread(TFunction1<void, CThreadLite&>(&Sensor::run, this),
               ("sensor-" + std::to_string(number)).c_str(), 64, 0, 0) // the name is copied
{}

int Sensor::read()
{
    if (m_driver != nullptr)
        return m_driver->readMilliCelsius(m_number);
    return 20000 + 1000 * m_number; // no driver: a made-up, steady reading
}

void Sensor::run(CThreadLite& self)
{
    while (self.looping()) {
        self.setTimeout(kDeadlineMs); // "alive for another 200 ms"
        if (m_readings == m_stallAt)
            CThread::sleep(kStallMs); // the bus hangs, past the deadline

        const int milliCelsius = read();
        const unsigned int number = m_readings + 1;
        Packet packet(48, sizeof(ReadingHeader));
        if (packet.valid()) {
            const ReadingHeader header = {m_number, number, Time::getCurrentMilliSecond()};
            std::memcpy(packet.getExtraData(), &header, sizeof(header));
            char text[48];
            const int n = std::snprintf(text, sizeof(text), "sensor-%d,%u,%d.%03d", m_number,
                                        number, milliCelsius / 1000, milliCelsius % 1000);
            packet.resize(0); // a new packet counts as full: empty it, then append
            packet.putBuffer(text, static_cast<unsigned int>(n));
            m_queue.push(packet);
            ++m_packets;
            Orlix::Infra::logFilter(5, "sensor", nullptr, "read", 0, "2.0",
                                    "sensor-%d reading %u: %d.%03d C\n", m_number, number,
                                    milliCelsius / 1000, milliCelsius % 1000);
        } else {
            Orlix::Infra::logFilter(2, "sensor", nullptr, "read", 0, "2.0",
                                    "sensor-%d: no packet memory, reading %u lost\n", m_number,
                                    number);
        }
        m_readings = number;

        // Sleep in short slices, so that a stop request is noticed quickly.
        for (int slept = 0; slept < kPeriodMs && self.looping(); slept += 10)
            CThread::sleep(10);
    }
}
