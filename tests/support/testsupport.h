// Helpers shared by the test suites.
#ifndef ORLIX_TESTS_SUPPORT_TESTSUPPORT_H
#define ORLIX_TESTS_SUPPORT_TESTSUPPORT_H

#include "infra/function.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace OrlixTest {

// Collects every text the print core hands to its sinks while the capture lives. The capture
// also installs a printer so that nothing reaches standard output. Thread-safe.
class PrintCapture
{
public:
    PrintCapture();
    ~PrintCapture();
    PrintCapture(const PrintCapture&) = delete;
    PrintCapture& operator=(const PrintCapture&) = delete;

    // Every text received, concatenated.
    std::string text() const;
    // The texts as received, one entry per emitted piece.
    std::vector<std::string> pieces() const;
    // Forgets what was received so far.
    void clear();
    // True when some received text contains needle.
    bool contains(const std::string& needle) const;

private:
    bool receive(const char* text);
    void swallow(const char* text);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_pieces;
};

// A fresh directory under the system's temporary directory, removed with its contents when
// the object dies.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name.
    std::string file(const std::string& name) const;

private:
    std::string m_path;
    bool m_owned = true; // false in a death test's child, which uses its parent's directory
};

// Polls condition until it holds or timeout passes; true when it held. For waits on other
// threads with generous bounds, never for asserting that something was fast.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

} // namespace OrlixTest

#endif // ORLIX_TESTS_SUPPORT_TESTSUPPORT_H
