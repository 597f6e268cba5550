// Directory search, with both search classes, against the real file system and a MemFs.
#include "files/backends.h"

#include "infra/filefind.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

using namespace Orlix::Infra;

namespace {

constexpr const char* kFindNames[] = {"Find", "FindEx"};
using Combos = OrlixTest::BothBackends<CFileFind, CFileFindEx>;

struct Entry
{
    std::string path;
    unsigned int length;
    bool readOnly, directory, hidden, normal;
};

template <class C>
class DirectorySearch : public ::testing::Test
{
protected:
    DirectorySearch()
    {
        backend.put("dir", "", true);
        const std::pair<const char*, const char*> files[] = {
            {"a.log", "aaa"}, {"b.log", "bbbbb"}, {"c.txt", ""}, {".hidden", "h"}, {"ro.txt", "r"}};
        for (const auto& file : files)
            backend.put(std::string("dir/") + file.first, file.second);
        backend.put("dir/sub", "", true);
        backend.setReadOnly("dir/ro.txt", true); // read-only entries stay removable
        backend.setReadOnly("dir/sub", true);
    }

    // Every entry of a search, by name.
    std::map<std::string, Entry> collect(const std::string& pattern)
    {
        std::map<std::string, Entry> found;
        typename C::Object find;
        for (bool more = find.findFile(pattern.c_str()); more; more = find.findNextFile()) {
            const std::string name(find.getFileName().c_str());
            EXPECT_EQ(found.count(name), 0u) << name << " reported twice";
            found[name] = Entry{std::string(find.getFilePath().c_str()),
                                find.getLength(),
                                find.isReadOnly(),
                                find.isDirectory(),
                                find.isHidden(),
                                find.isNormal()};
        }
        return found;
    }

    typename C::Backend backend;
};

TYPED_TEST_SUITE(DirectorySearch, Combos, OrlixTest::ComboNames<kFindNames>);

std::set<std::string> namesOf(const std::map<std::string, Entry>& entries)
{
    std::set<std::string> names;
    for (const auto& entry : entries)
        names.insert(entry.first);
    return names;
}

} // namespace

TYPED_TEST(DirectorySearch, ReportsEveryEntryWithItsAttributes)
{
    const auto all = this->collect(this->backend.path("dir/*"));
    EXPECT_EQ(namesOf(all), (std::set<std::string>{".", "..", ".hidden", "a.log", "b.log", "c.txt",
                                                   "ro.txt", "sub"}));
    const Entry& plain = all.at("a.log");
    EXPECT_EQ(plain.path, this->backend.path("dir/a.log"));
    EXPECT_EQ(plain.length, 3u);
    EXPECT_TRUE(plain.normal);
    EXPECT_FALSE(plain.readOnly || plain.directory || plain.hidden);
    EXPECT_EQ(all.at("b.log").length, 5u);
    // A read-only directory is both, and not normal.
    EXPECT_TRUE(all.at("sub").directory && all.at("sub").readOnly);
    EXPECT_FALSE(all.at("sub").normal);
    EXPECT_TRUE(all.at(".hidden").hidden);
    EXPECT_FALSE(all.at(".hidden").normal);
    EXPECT_TRUE(all.at("ro.txt").readOnly);
    EXPECT_FALSE(all.at("ro.txt").normal);
    EXPECT_TRUE(all.at(".").directory && all.at(".").hidden);
    EXPECT_TRUE(all.at("..").directory);
}

TYPED_TEST(DirectorySearch, PatternSelectsEntries)
{
    const auto names = [this](const char* pattern) {
        return namesOf(this->collect(this->backend.path(pattern)));
    };
    EXPECT_EQ(names("dir/*.log"), (std::set<std::string>{"a.log", "b.log"}));
    EXPECT_EQ(names("dir/?.txt"), (std::set<std::string>{"c.txt"}));
    EXPECT_EQ(names("dir/b.log"), (std::set<std::string>{"b.log"}));
    EXPECT_EQ(names("dir/*.none"), (std::set<std::string>{}));
    EXPECT_EQ(names("dir/missing/*"), (std::set<std::string>{}));
}

// After a search that found nothing or came to its end, the name holds the directory part
// the search looked in; the end stays the end; a new search, close() and the destructor end
// the old search.
TYPED_TEST(DirectorySearch, EndsAreStableAndSearchesAreEnded)
{
    typename TypeParam::Object find;
    EXPECT_FALSE(find.findFile(this->backend.path("dir/missing/*").c_str()));
    EXPECT_FALSE(find.findNextFile());
    EXPECT_EQ(std::string(find.getFileName().c_str()), this->backend.path("dir/missing/"));
    EXPECT_EQ(find.getLength(), 0u);
    EXPECT_TRUE(find.isNormal());

    ASSERT_TRUE(find.findFile(this->backend.path("dir/a.log").c_str()));
    EXPECT_FALSE(find.findNextFile());
    EXPECT_FALSE(find.findNextFile());
    EXPECT_EQ(std::string(find.getFileName().c_str()), this->backend.path("dir/"));

    ASSERT_TRUE(find.findFile(this->backend.path("dir/*.log").c_str()));
    ASSERT_TRUE(find.findFile(this->backend.path("dir/*.txt").c_str()));
    if constexpr (TypeParam::Backend::kIsMemory) {
        EXPECT_EQ(this->backend.fs.openSearches, 1);
    }
    find.close();
    find.close();
    {
        typename TypeParam::Object scoped; // the destructor ends its search
        ASSERT_TRUE(scoped.findFile(this->backend.path("dir/*").c_str()));
    }
    if constexpr (TypeParam::Backend::kIsMemory) {
        EXPECT_EQ(this->backend.fs.openSearches, 0);
    }
    typename TypeParam::Object idle;
    EXPECT_FALSE(idle.findNextFile());
    idle.close();
    EXPECT_EQ(std::string(idle.getFileName().c_str()), "");
}

// ---------------------------------------------------------------- the default's specifics

TEST(DirectorySearchReal, AgreesWithTheStandardDirectoryIterator)
{
    OrlixTest::TempDir dir;
    for (int i = 0; i < 40; ++i) {
        const std::string name = dir.file("f" + std::to_string(i) + (i % 3 == 0 ? ".x" : ".y"));
        std::FILE* f = std::fopen(name.c_str(), "wb");
        std::fputs(std::string(static_cast<std::size_t>(i), 'z').c_str(), f);
        std::fclose(f);
    }
    std::filesystem::create_directory(dir.file("d.x"));

    std::map<std::string, std::pair<bool, std::uintmax_t>> expected;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= 2 && name.compare(name.size() - 2, 2, ".x") == 0)
            expected[name] = {entry.is_directory(), entry.is_directory() ? 0 : entry.file_size()};
    }
    CFileFind find;
    std::map<std::string, std::pair<bool, std::uintmax_t>> found;
    for (bool more = find.findFile((dir.path() + "/*.x").c_str()); more;
         more = find.findNextFile()) {
        found[find.getFileName()] = {find.isDirectory(), find.isDirectory() ? 0 : find.getLength()};
    }
    EXPECT_EQ(found, expected);
}

TEST(DirectorySearchReal, PatternWithoutSlashSearchesTheCurrentDirectory)
{
    OrlixTest::TempDir dir;
    std::FILE* f = std::fopen(dir.file("only.log").c_str(), "wb");
    std::fclose(f);
    const std::filesystem::path previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    CFileFindEx find;
    const bool found = find.findFile("*.log");
    const CFileFindEx& view = find; // the entry's queries change nothing
    const std::string path = view.getFilePath().c_str();
    EXPECT_FALSE(view.isDirectory());
    EXPECT_EQ(view.getFileName(), "only.log");
    find.close();
    std::filesystem::current_path(previous);
    ASSERT_TRUE(found);
    EXPECT_EQ(path, "only.log");
}

TEST(DirectorySearchReal, StaleHandlesAreRefused)
{
    OrlixTest::TempDir dir;
    FileDefaultOpt* fs = FileDefaultOpt::instance();
    FileInfo info = FileInfo();
    const long handle = fs->findfirst((dir.path() + "/*").c_str(), &info);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(fs->findclose(handle), 0);
    EXPECT_EQ(fs->findclose(handle), -1);
    EXPECT_EQ(fs->findnext(handle, &info), -1);
    EXPECT_EQ(fs->findnext(-1, &info), -1);
    EXPECT_EQ(fs->findnext(123456789, &info), -1);
}
