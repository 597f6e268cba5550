#include "support/testsupport.h"

#include "infra/print.h"

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

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orlix-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    m_path = made != nullptr ? made : "";
}

TempDir::~TempDir()
{
    if (!m_path.empty()) {
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
