// The moving parts of the running gateway: the packet queue, the sensor and uplink threads
// and the heartbeat timer. service.cpp puts them together.
#ifndef ORLIX_EXAMPLES_TOUR_SERVICE_H
#define ORLIX_EXAMPLES_TOUR_SERVICE_H

#include "tour.h"

#include <deque>
#include <string>

// What a sensor writes into a packet's extra area, next to the reading's text in its data.
struct ReadingHeader
{
    int sensor;
    unsigned int number;
    Orlix::uint64 takenMs; // the library's monotonic clock
};

// Packets handed from the sensor threads to the uplink thread. The lock orders each
// sensor's writes to a packet before the uplink's reads; the semaphore counts the packets.
class PacketQueue
{
public:
    // Hands packet over to the queue: the caller's handle is empty afterwards, so the
    // taker's handle is the last one.
    void push(Packet& packet);
    // Takes the oldest packet, waiting at most timeoutMs; false when none came.
    bool pop(Packet& packet, unsigned int timeoutMs);

private:
    Orlix::Infra::CMutex m_lock;
    Orlix::Infra::CSemaphore m_ready;
    std::deque<Packet> m_packets; // guarded by m_lock
};

// A sensor thread: every 100 ms one reading from the driver, as a packet onto the queue.
// With stallAt set, the sensor's bus hangs once, before that reading, for longer than the
// thread's watchdog deadline.
class Sensor
{
public:
    static constexpr unsigned int noStall = ~0u;

    Sensor(int number, ISensorDriver* driver, PacketQueue& queue, unsigned int stallAt);
    bool start() { return m_thread.createThread(); }
    void stop() { m_thread.destroyThread(); }
    unsigned int readings() const { return m_readings; }
    // Readings that went onto the queue as packets.
    unsigned int packets() const { return m_packets; }

private:
    void run(Orlix::Infra::CThreadLite& self);
    int read();

    const int m_number;
    ISensorDriver* const m_driver;
    PacketQueue& m_queue;
    const unsigned int m_stallAt;
    std::atomic<unsigned int> m_readings{0};
    std::atomic<unsigned int> m_packets{0};
    Orlix::Infra::CThreadLite m_thread; // last: destroyed (and so stopped) first
};

// The uplink thread: takes packets off the queue, appends each reading to the readings file
// and uploads it. Stopping drains the queue first.
class Uplink
{
public:
    Uplink(PacketQueue& queue, Collector& collector, const std::string& readingsPath);
    bool start();
    void stop();
    unsigned int delivered() const { return m_delivered; }

private:
    void run(Orlix::Infra::CThreadLite& self);
    void deliver(const Packet& packet);

    PacketQueue& m_queue;
    Collector& m_collector;
    std::string m_path;
    Orlix::Infra::CFile m_file; // used by the uplink thread only while it runs
    std::atomic<unsigned int> m_delivered{0};
    Orlix::Infra::CThreadLite m_thread;
};

// The heartbeat: a periodic timer that reports to the collector and watches the thread
// manager for threads whose deadline has passed, logging when that changes.
class Watchdog
{
public:
    explicit Watchdog(Collector& collector);
    bool start();
    void stop() { m_timer.stopAndWait(); }
    // True once a late thread was seen and every thread was on time again afterwards.
    bool sawRecovery() const { return m_recovered; }

private:
    void beat(unsigned long);

    Collector& m_collector;
    Orlix::Infra::flex_string m_late; // touched only by beat(); calls never overlap
    std::atomic<bool> m_sawLate{false};
    std::atomic<bool> m_recovered{false};
    Orlix::Infra::CTimer m_timer;
};

#endif // ORLIX_EXAMPLES_TOUR_SERVICE_H
