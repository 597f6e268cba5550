// The tour: a small sensor gateway told as one story, from power-on to shutdown.
//
// Two sensor threads read a thermometer driver (a plugin loaded by name) and put each reading
// into a packet from the pool; an uplink thread takes the packets, appends them to a readings
// file and sends them to an imaginary collector server through a shared, logged-in component
// client; a heartbeat timer watches every thread's deadline. An operator steers the log with
// logfilter commands. At the end the gateway prints its tables, shuts down, seals the
// readings file with MD5 and SHA-1 and says what it leaves behind.
//
// The steps, in the order main.cpp runs them:
//   startup.cpp    power-on: the packet pool, the working directory, the log, the driver
//   collector.cpp  the collector's client and services: login, uploads, status reports
//   sensors.cpp    the sensor threads and the packet queue between threads
//   uplink.cpp     the uplink thread: packets to the readings file and the collector
//   watchdog.cpp   the heartbeat timer that reports threads past their deadline
//   service.cpp    running the service, the status tables and the shutdown
//   report.cpp     sealing the readings and cleaning up
#ifndef ORLIX_EXAMPLES_TOUR_TOUR_H
#define ORLIX_EXAMPLES_TOUR_TOUR_H

#include <infra/orlix.h>

#include <atomic>
#include <string>
#include <vector>

class ISensorDriver;

// The modern packet; the legacy layer has a global ::CPacket of its own.
using Packet = Orlix::Memory::CPacket;

// Prints a step heading, and a narrative line (indented, with a line feed added).
void tourStep(const char* title);
void tourSay(const char* fmt, ...) ORLIX_PRINTF_FORMAT(1, 2);

// Runs one logfilter command and shows it the way an operator would have typed it.
void tourLogCommand(std::vector<std::string> words);

// What the steps share.
struct Gateway
{
    std::string workDir;      // a temporary directory; removed at the end unless kept
    std::string readingsPath; // readings.csv in workDir
    std::string logPath;      // the log file ("" when a command turned it off)
    bool logOutside = false;  // a command of the user's moved the log out of workDir
    bool keep = false;        // --keep: leave workDir in place
    ISensorDriver* driver = nullptr;
    Orlix::uint64 startMs = 0;
};

// Ends the log file and returns how many bytes were logged to it (counted by a print sink).
unsigned long stopLog();

// Power-on. Parses the arguments (--keep, logfilter commands); false with a usage text when
// they are wrong. Otherwise configures the packet pool (before anything makes a packet),
// makes the working directory, starts the log file and loads the driver plugin.
bool powerOn(Gateway& gateway, int argc, char** argv);

// The collector server's client, as the rest of the gateway sees it.
class Collector
{
public:
    // Looks up the upload and status services for the collector: the first lookup logs the
    // client in, the second shares it. False when a lookup failed.
    bool connect();
    // Gives both references back; the last one logs the client out.
    void disconnect();
    // Sends one reading; called by the uplink thread.
    bool upload(const Packet& packet);
    // Tells the collector the gateway is alive; called by the heartbeat.
    void reportAlive();
    unsigned long uploads() const { return m_uploads; }
    unsigned long statusReports() const { return m_reports; }

private:
    Orlix::Component::IClient* m_uploadClient = nullptr;
    Orlix::Component::IClient* m_statusClient = nullptr;
    Orlix::Component::IFactoryUnknown* m_upload = nullptr;
    Orlix::Component::IFactoryUnknown* m_status = nullptr;
    std::atomic<unsigned long> m_uploads{0};
    std::atomic<unsigned long> m_reports{0};
};

// Runs the service for about a second: threads, timer, an operator command, a stalled
// sensor, the status tables, then the shutdown. False when a thread could not be started or
// a packet went missing.
bool runService(Gateway& gateway, Collector& collector);

// Hashes the readings file with MD5 and SHA-1; false when it cannot be read.
bool sealReadings(const Gateway& gateway);

// Closes the log, lists what the gateway wrote and removes the working directory (unless
// kept). False when something could not be removed.
bool cleanUp(Gateway& gateway);

#endif // ORLIX_EXAMPLES_TOUR_TOUR_H
