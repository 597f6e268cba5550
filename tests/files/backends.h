// The two file systems the file-object and search tests run against: the real one (a fresh
// temporary directory) and a MemFs hooked under "memfs:". Each gives paths for names and a
// way to set up and inspect files that does not go through the library.
#ifndef ORLIX_TESTS_FILES_BACKENDS_H
#define ORLIX_TESTS_FILES_BACKENDS_H

#include "files/memfs.h"
#include "support/testsupport.h"

#include <string>

namespace OrlixTest {

class RealBackend
{
public:
    static constexpr const char* kName = "Real";
    static constexpr bool kIsMemory = false;

    // The directory all test files live in.
    const std::string& root() const { return m_dir.path(); }
    std::string path(const std::string& name) const { return m_dir.file(name); }
    void putFile(const std::string& name, const std::string& contents);
    void putDirectory(const std::string& name);
    void setReadOnly(const std::string& name, bool readOnly);
    std::string contents(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    TempDir m_dir;
};

class MemBackend
{
public:
    static constexpr const char* kName = "Mem";
    static constexpr bool kIsMemory = true;

    const std::string& root() const { return m_hook.root(); }
    std::string path(const std::string& name) const { return m_hook.root() + "/" + name; }
    void putFile(const std::string& name, const std::string& contents)
    {
        fs().putFile(path(name), contents);
    }
    void putDirectory(const std::string& name) { fs().putDirectory(path(name)); }
    void setReadOnly(const std::string& name, bool readOnly)
    {
        fs().setReadOnly(path(name), readOnly);
    }
    std::string contents(const std::string& name) const { return fs().contents(path(name)); }
    bool exists(const std::string& name) const { return fs().exists(path(name)); }

    MemFs& fs() const { return const_cast<HookedMemFs&>(m_hook).fs(); }

private:
    HookedMemFs m_hook;
};

} // namespace OrlixTest

#endif // ORLIX_TESTS_FILES_BACKENDS_H
