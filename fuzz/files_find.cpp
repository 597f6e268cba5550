// Directory search and file-system hooks.
//
// Wildcards: a temporary directory holds a fixed set of entries (names with dots, blanks,
// brackets, wildcard characters, a read-only file, directories). A fuzzed pattern is searched
// in it with CFileFind and CFileFindEx; each must report exactly the entries that fnmatch()
// matches in a listing of the directory, each once, with the path, size and attribute flags
// the entry has. A search that finds nothing leaves the pattern's directory as the name.
//
// Hooks: fuzzed sequences install and remove hooks for prefixes under the temporary
// directory, each time checked against a model of the 31-entry table (lowest free entry,
// prefixes cut to 255 characters, removal of the lowest equal prefix, a full table ignoring
// installs; removal compares the prefix cut to 255 characters as well, the library's
// documented choice); searches for fuzzed paths must reach the hook of the first entry whose prefix
// leads the path, or the default file system when none does. Every hook is removed before
// the next input. The directory is removed at exit; nothing outside it is touched.
#include "files/memfs.h"
#include "fuzz_check.h"

#include "infra/filefind.h"
#include "infra/filesystem.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace Orlix::Infra;
using OrlixFuzz::check;

namespace {

std::string g_dir;

struct Entry
{
    bool directory;
    bool readOnly;
    unsigned size;
};
std::map<std::string, Entry> g_entries; // every name a listing reports, "." and ".." too

void removeDir()
{
    std::error_code ignored;
    std::filesystem::permissions(g_dir + "/ro.txt", std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(g_dir, ignored);
}

// A hook that records the patterns it was asked for and reports one entry named after
// itself.
class HookFs : public OrlixTest::StubFs
{
public:
    int id = 0;
    std::string lastPattern;
    int calls = 0;

    long findfirst(const char* pattern, FileInfo* out) override
    {
        lastPattern = pattern;
        ++calls;
        std::snprintf(out->name, sizeof(out->name), "hook%d", id);
        out->attrib = 0x10;
        out->size = 0x100000000ull + unsigned(id);
        return 7;
    }
    int findnext(long handle, FileInfo*) override { return handle == 7 ? -1 : -2; }
    int findclose(long) override { return 0; }
};

HookFs g_hooks[40];

template <class Finder>
void searchDirectory(const std::string& pattern)
{
    std::map<std::string, int> expect;
    for (const auto& e : g_entries) {
        if (fnmatch(pattern.c_str(), e.first.c_str(), 0) == 0)
            expect[e.first] = 1;
    }
    Finder find;
    const std::string full = g_dir + "/" + pattern;
    std::map<std::string, int> found;
    for (bool more = find.findFile(full.c_str()); more; more = find.findNextFile()) {
        const std::string name(find.getFileName().c_str());
        check(++found[name] == 1, "search reported an entry twice");
        auto it = g_entries.find(name);
        check(it != g_entries.end(), "search reported an entry that does not exist");
        check(std::string(find.getFilePath().c_str()) == g_dir + "/" + name, "entry path");
        check(find.isDirectory() == it->second.directory, "directory flag");
        check(find.isReadOnly() == it->second.readOnly, "read-only flag");
        check(find.isHidden() == (name[0] == '.'), "hidden flag");
        check(find.isNormal() == (!it->second.directory && !it->second.readOnly && name[0] != '.'),
              "normal flag");
        if (!it->second.directory)
            check(find.getLength() == it->second.size, "entry size");
    }
    check(found == expect, "search results != fnmatch over the listing");
    check(!find.findNextFile(), "search went on after its end");
    if (expect.empty())
        check(std::string(find.getFileName().c_str()) == g_dir + "/", "failed search name");
    find.close();
    find.close();
}

struct HookTableModel
{
    std::string prefix[32];
    int hook[32] = {};
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orlix-fuzz-find-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    g_dir = pattern;
    std::atexit(&removeDir);
    const char* const files[] = {
        "a",       "ab",           "abc.txt", "abd.TXT", "b.log",
        ".hidden", "x?y",          "[x]",     "a*b",     "back\\slash",
        "sp ace",  "\xc3\xbc.txt", "-dash",   "ro.txt",  "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.long"};
    unsigned size = 3;
    for (const char* name : files) {
        std::FILE* f = std::fopen((g_dir + "/" + name).c_str(), "wb");
        if (f == nullptr)
            std::abort();
        for (unsigned i = 0; i < size; ++i)
            std::fputc('x', f);
        std::fclose(f);
        g_entries[name] = Entry{false, false, size};
        size = size * 3 + 1;
    }
    for (const char* name : {"dir1", "dir2.d", ".git"}) {
        if (::mkdir((g_dir + "/" + name).c_str(), 0700) != 0)
            std::abort();
        g_entries[name] = Entry{true, false, 0};
    }
    ::chmod((g_dir + "/ro.txt").c_str(), 0444);
    g_entries["ro.txt"].readOnly = true;
    g_entries["."] = Entry{true, false, 0};
    g_entries[".."] = Entry{true, false, 0};
    for (int i = 0; i < 40; ++i)
        g_hooks[i].id = i;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrlixFuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    if ((mode & 1) == 0) {
        // A wildcard pattern for the last path component: no '/', no zero byte.
        std::string pattern;
        for (const char c : in.rest().substr(0, 40)) {
            if (c != '/' && c != '\0')
                pattern += c;
        }
        if ((mode & 2) == 0)
            searchDirectory<CFileFind>(pattern);
        else
            searchDirectory<CFileFindEx>(pattern);
        return 0;
    }

    // Hooks under <dir>/h: prefixes and paths from a small alphabet so that they meet.
    static const char kAlphabet[] = "ab/x";
    HookTableModel model;
    int nextHook = 0;
    auto word = [&](size_t max) {
        std::string w = g_dir + "/h";
        const size_t n = in.byte() % (max + 1);
        for (size_t i = 0; i < n; ++i)
            w += kAlphabet[in.byte() % 4];
        if (in.byte() == 0xFF)
            w += std::string(250, 'a'); // past the 255 characters a prefix keeps
        return w;
    };
    while (!in.empty()) {
        const std::uint8_t op = in.byte() % 3;
        if (op == 0) { // install
            const std::string prefix = word(5);
            HookFs* fs = &g_hooks[nextHook % 40];
            ++nextHook;
            hookFileSystem(prefix.c_str(), fs);
            for (int i = 1; i < 32; ++i) {
                if (model.prefix[i].empty()) {
                    model.prefix[i] = prefix.substr(0, 255);
                    model.hook[i] = fs->id;
                    break;
                }
            }
        } else if (op == 1) { // remove
            const std::string prefix = word(5);
            hookFileSystem(prefix.c_str(), nullptr);
            for (int i = 1; i < 32; ++i) {
                if (!model.prefix[i].empty() && model.prefix[i] == prefix.substr(0, 255)) {
                    model.prefix[i].clear();
                    break;
                }
            }
        } else { // a search for a path
            const std::string path = word(8);
            int expect = -1;
            for (int i = 1; i < 32 && expect < 0; ++i) {
                if (!model.prefix[i].empty() &&
                    path.compare(0, model.prefix[i].size(), model.prefix[i]) == 0)
                    expect = model.hook[i];
            }
            int before[40];
            for (int i = 0; i < 40; ++i)
                before[i] = g_hooks[i].calls;
            CFileFind find;
            const bool found = find.findFile(path.c_str());
            for (int i = 0; i < 40; ++i) {
                const int calls = g_hooks[i].calls - before[i];
                if (calls != (i == expect ? 1 : 0)) {
                    std::fprintf(stderr, "path %s: expected hook %d, hook %d was called\n",
                                 path.c_str(), expect, i);
                    for (int e = 1; e < 32; ++e) {
                        if (!model.prefix[e].empty())
                            std::fprintf(stderr, "  entry %d: %s -> hook %d\n", e,
                                         model.prefix[e].c_str(), model.hook[e]);
                    }
                    OrlixFuzz::mismatch("search reached the wrong file system");
                }
            }
            if (expect >= 0) {
                check(found, "hooked search failed");
                check(g_hooks[expect].lastPattern == path, "hook got another pattern");
                check(find.getFileName() == "hook" + std::to_string(expect), "hook entry name");
                check(find.getLength() == unsigned(expect), "length is not the low 32 bits");
                const size_t slash = path.rfind('/');
                check(find.getFilePath() == path.substr(0, slash + 1) + find.getFileName(),
                      "hooked entry path");
                check(!find.findNextFile(), "hooked search went on");
            } else {
                check(!found, "default search found an entry that does not exist");
            }
        }
    }
    // Leave the table empty for the next input.
    for (int i = 1; i < 32; ++i) {
        if (!model.prefix[i].empty())
            hookFileSystem(model.prefix[i].c_str(), nullptr);
    }
    HookFs probe;
    hookFileSystem(g_dir.c_str(), &probe);
    CFileFind find;
    find.findFile((g_dir + "/zz").c_str());
    check(probe.calls == 1, "hook table not empty after removing every hook");
    hookFileSystem(g_dir.c_str(), nullptr);
    return 0;
}
