// Helpers the Utils suites share.
#ifndef ORLIX_TESTS_UTILS_UTILS_TESTING_H
#define ORLIX_TESTS_UTILS_UTILS_TESTING_H

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace UtilsTesting {

using Bytes = std::vector<unsigned char>;

// The bytes of a text, as the codecs take them.
inline const unsigned char* bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.c_str());
}

inline Bytes randomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

// A readable page followed by one that faults on any access: place() puts bytes so that they
// end exactly at the boundary, so a codec that reads one byte past its input crashes.
class PageEdge
{
public:
#ifdef _WIN32
    PageEdge() : m_page(4096)
    {
        void* p = ::VirtualAlloc(nullptr, 2 * m_page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        m_base = static_cast<unsigned char*>(p);
        DWORD old = 0;
        if (m_base != nullptr)
            ::VirtualProtect(m_base + m_page, m_page, PAGE_NOACCESS, &old);
    }
    ~PageEdge()
    {
        if (m_base != nullptr)
            ::VirtualFree(m_base, 0, MEM_RELEASE);
    }
#else
    PageEdge() : m_page(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)))
    {
        void* p =
            ::mmap(nullptr, 2 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_base = p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
        if (m_base != nullptr)
            ::mprotect(m_base + m_page, m_page, PROT_NONE);
    }
    ~PageEdge()
    {
        if (m_base != nullptr)
            ::munmap(m_base, 2 * m_page);
    }
#endif
    PageEdge(const PageEdge&) = delete;
    PageEdge& operator=(const PageEdge&) = delete;

    bool ok() const { return m_base != nullptr; }
    std::size_t pageSize() const { return m_page; }

    // Copies n bytes (at most one page) to the end of the readable page; returns the copy.
    unsigned char* place(const void* data, std::size_t n)
    {
        unsigned char* at = m_base + m_page - n;
        if (n != 0)
            std::memcpy(at, data, n);
        return at;
    }

private:
    std::size_t m_page;
    unsigned char* m_base = nullptr;
};

} // namespace UtilsTesting

#endif // ORLIX_TESTS_UTILS_UTILS_TESTING_H
