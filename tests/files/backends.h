// The two file systems the file-object and search tests run against: the real one (a fresh
// temporary directory) and a MemFs hooked under "memfs:". Each gives paths for names and a
// way to set up and inspect files that does not go through the library.
#ifndef ORLIX_TESTS_FILES_BACKENDS_H
#define ORLIX_TESTS_FILES_BACKENDS_H

#include "files/memfs.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace OrlixTest {

struct RealBackend
{
    static constexpr const char* kName = "Real";
    static constexpr bool kIsMemory = false;
    TempDir dir;

    std::string root() const { return dir.path(); }
    std::string path(const std::string& name) const { return dir.file(name); }
    void put(const std::string& name, const std::string& contents, bool directory = false)
    {
        if (directory)
            std::filesystem::create_directory(path(name));
        else
            std::ofstream(path(name), std::ios::binary | std::ios::trunc) << contents;
    }
    void setReadOnly(const std::string& name, bool readOnly)
    {
        std::filesystem::permissions(path(name), std::filesystem::perms::owner_write,
                                     readOnly ? std::filesystem::perm_options::remove
                                              : std::filesystem::perm_options::add);
    }
    std::string contents(const std::string& name) const { return readFile(path(name)); }
    bool exists(const std::string& name) const
    {
        std::error_code ignored;
        return std::filesystem::exists(path(name), ignored);
    }
};

struct MemBackend
{
    static constexpr const char* kName = "Mem";
    static constexpr bool kIsMemory = true;
    MemFs fs;

    std::string root() const { return "memfs:"; }
    std::string path(const std::string& name) const { return root() + "/" + name; }
    void put(const std::string& name, const std::string& contents, bool directory = false)
    {
        fs.put(path(name), contents, directory);
    }
    void setReadOnly(const std::string& name, bool readOnly)
    {
        fs.setReadOnly(path(name), readOnly);
    }
    std::string contents(const std::string& name) const { return fs.contents(path(name)); }
    bool exists(const std::string& name) const { return fs.exists(path(name)); }
};

// The typed tests run two object classes against both backends.
template <class O, class B>
struct Combo
{
    using Object = O;
    using Backend = B;
};

template <class A, class B>
using BothBackends = ::testing::Types<Combo<A, RealBackend>, Combo<A, MemBackend>,
                                      Combo<B, RealBackend>, Combo<B, MemBackend>>;

// Names the combinations "<object>_<backend>" from the two objects' names.
template <const char* const* Objects>
struct ComboNames
{
    template <class C>
    static std::string GetName(int index)
    {
        return std::string(Objects[index / 2]) + "_" + C::Backend::kName;
    }
};

} // namespace OrlixTest

#endif // ORLIX_TESTS_FILES_BACKENDS_H
