// The heartbeat: a periodic timer whose callback runs on one of the timer manager's pooled
// threads. Each beat tells the collector the gateway is alive and asks the thread manager
// which threads have let their watchdog deadline pass; it logs only when that list changes.
// The timer's own calls have a watchdog too: a beat that ran over 50 ms would itself show
// as late.
#include "service.h"

using Orlix::Infra::CThreadManager;
using Orlix::Infra::flex_string;
using Orlix::Infra::logFilter;
using Orlix::Infra::TFunction1;

Watchdog::Watchdog(Collector& collector) : m_collector(collector), m_timer("heartbeat") {}

bool Watchdog::start()
{
    // First beat now, then every 100 ms; each call gets a 50 ms deadline.
    const bool started =
        m_timer.start(TFunction1<void, unsigned long>(&Watchdog::beat, this), 0, 100, 0, 50);
    m_timer.enableStat(true); // the "RunningTime" column of the timer table; after start()
    return started;
}

void Watchdog::beat(unsigned long)
{
    m_collector.reportAlive();

    flex_string late;
    CThreadManager::instance()->getTimeOutThreads(late);
    if (late == m_late)
        return;
    if (!late.empty()) {
        logFilter(3, "watchdog", nullptr, "beat", 0, "1.0", "past their deadline: %s\n",
                  late.c_str());
        m_sawLate = true;
    } else {
        logFilter(3, "watchdog", nullptr, "beat", 0, "1.0", "every thread on time again\n");
        m_recovered = m_sawLate.load();
    }
    m_late = late;
}
