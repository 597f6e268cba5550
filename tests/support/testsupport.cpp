#include "support/testsupport.h"

#include "infra/print.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace OrlixTest {

PrintCapture::PrintCapture()
{
    Orlix::Infra::attachPrint(
        Orlix::Infra::TFunction1<bool, const char*>(&PrintCapture::receive, this));
    Orlix::Infra::setLogPrinter(
        Orlix::Infra::TFunction1<void, const char*>(&PrintCapture::swallow, this));
}

PrintCapture::~PrintCapture()
{
    Orlix::Infra::detachPrint(
        Orlix::Infra::TFunction1<bool, const char*>(&PrintCapture::receive, this));
    Orlix::Infra::setLogPrinter(Orlix::Infra::TFunction1<void, const char*>());
}

bool PrintCapture::receive(const char* text)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_pieces.emplace_back(text);
    return true;
}

void PrintCapture::swallow(const char* /*text*/) {}

std::string PrintCapture::text() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::string all;
    for (const auto& piece : m_pieces)
        all += piece;
    return all;
}

std::vector<std::string> PrintCapture::pieces() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_pieces;
}

void PrintCapture::clear()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_pieces.clear();
}

bool PrintCapture::contains(const std::string& needle) const
{
    return text().find(needle) != std::string::npos;
}

namespace {

// A death test that runs in a fresh process (GoogleTest's "threadsafe" style, the only one on
// Windows) runs the test body from its start again, so a TempDir made there would be a new
// directory, not the one the parent reads once the child has ended. Each directory is
// therefore published in the environment, which the child inherits, under its number within
// the running test; the child's TempDir of that number uses it and leaves it to the parent.
bool deathTestsRunInAFreshProcess()
{
#ifdef _WIN32
    return true;
#else
    return ::testing::GTEST_FLAG(death_test_style) == "threadsafe";
#endif
}

bool inDeathTestChild()
{
    return !::testing::GTEST_FLAG(internal_run_death_test).empty();
}

// The variable for the next TempDir of the running test.
std::string nextTempDirVariable()
{
    static std::mutex mutex;
    static const ::testing::TestInfo* counted = nullptr;
    static int next = 0;
    std::lock_guard<std::mutex> guard(mutex);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test != counted) {
        counted = test;
        next = 0;
    }
    return "ORLIX_TEST_TEMPDIR_" + std::to_string(next++);
}

} // namespace

TempDir::TempDir()
{
    const bool shared = deathTestsRunInAFreshProcess();
    const std::string variable = shared ? nextTempDirVariable() : std::string();
    if (shared && inDeathTestChild()) {
        const char* parents = std::getenv(variable.c_str());
        if (parents != nullptr && *parents != '\0') {
            m_path = parents;
            m_owned = false;
            return;
        }
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "orlix-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    m_path = made != nullptr ? made : "";
    if (shared && !m_path.empty())
        setenv(variable.c_str(), m_path.c_str(), 1);
}

TempDir::~TempDir()
{
    if (m_owned && !m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

std::string TempDir::file(const std::string& name) const
{
    return m_path + "/" + name;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace OrlixTest
