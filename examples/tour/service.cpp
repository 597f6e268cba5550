// Running the gateway: start the threads and the heartbeat, let an operator quiet the
// chatty sensors, ride out a sensor whose bus hangs, print the status tables, shut down.
#include "service.h"

using Orlix::Infra::CThread;
using Orlix::Infra::CThreadManager;
using Time = Orlix::Infra::CTime; // the legacy layer has a global ::CTime too
using Orlix::Infra::CTimerManager;
using Orlix::Memory::CPacketManager;

namespace {

// Waits until done() holds or limitMs have passed; the tour must end even on a machine so
// loaded that the watchdog never sees the stall.
template <class Done>
bool waitFor(Done done, unsigned int limitMs)
{
    const Orlix::uint64 end = Time::getCurrentMilliSecond() + limitMs;
    while (!done() && Time::getCurrentMilliSecond() < end)
        CThread::sleep(10);
    return done();
}

void statusReport(unsigned int packets)
{
    tourStep("Status: the thread and timer tables, the pool");
    CPacketManager* pool = CPacketManager::instance();
    tourSay("%u packets have passed through the pool; %u of its %u bytes are in use right now",
            packets, pool->getBufferSize() - pool->getFreeSize(), pool->getBufferSize());
    CThreadManager::instance()->dumpThreads();
    CTimerManager::instance()->dumpTimers();
}

} // namespace

bool runService(Gateway& gateway, Collector& collector)
{
    tourStep("Running: two sensors, an uplink and a heartbeat");
    PacketQueue queue;
    Uplink uplink(queue, collector, gateway.readingsPath);
    Sensor first(1, gateway.driver, queue, Sensor::noStall);
    Sensor second(2, gateway.driver, queue, 4); // its bus hangs before the fifth reading
    Watchdog watchdog(collector);

    tourSay("sensors read every 100 ms with a 200 ms deadline; the heartbeat beats every 100 ms");
    if (!uplink.start() || !first.start() || !second.start() || !watchdog.start()) {
        tourSay("could not start the service");
        return false;
    }

    CThread::sleep(250);
    tourSay("the operator finds the sensors too chatty:");
    tourLogCommand({"-logmodule", "sensor", "off"});
    tourSay("meanwhile sensor-2's bus is about to hang for 450 ms, past its deadline:");
    if (!waitFor([&] { return watchdog.sawRecovery(); }, 3000))
        tourSay("(the machine is busy: the watchdog did not catch the stall this time)");
    CThread::sleep(100);

    statusReport(first.packets() + second.packets());

    tourStep("Shutdown");
    watchdog.stop(); // stopped, and no beat running any more
    first.stop();    // each waits for its thread to return
    second.stop();
    uplink.stop(); // drains the queue, closes the readings file
    const unsigned int made = first.packets() + second.packets();
    tourSay("sensors stopped after %u and %u readings; the uplink delivered %u packets",
            first.readings(), second.readings(), uplink.delivered());
    tourSay("the collector got %lu uploads and %lu status reports", collector.uploads(),
            collector.statusReports());

    CPacketManager* pool = CPacketManager::instance();
    const bool whole = pool->getFreeSize() == pool->getBufferSize();
    tourSay("%s: the pool has %u of %u bytes free",
            whole ? "every packet came back" : "packets are MISSING", pool->getFreeSize(),
            pool->getBufferSize());
    Orlix::Infra::logFilter(4, "gateway", nullptr, "shutDown", 0, "1.4",
                            "shut down after %u readings, pool %s\n", uplink.delivered(),
                            whole ? "whole" : "NOT whole");
    return whole && made == uplink.delivered();
}
