// Chapter: files. Write, reopen, load and list files in a temporary directory, then serve a
// path prefix from a small file system of our own and use it with the same classes.
#include "tour.h"

#include <infra/orlix.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

namespace {

using Orlix::uint64;
using Orlix::Infra::CFile;
using Orlix::Infra::CFileFind;
using Orlix::Infra::CLfsFile;
using Orlix::Infra::FileInfo;
using Orlix::Infra::hookFileSystem;
using Orlix::Infra::IFileSystem;

// A file system that keeps its files in a map: enough to be opened, read, written, searched
// and stat'ed through CFile and CFileFind. A handle is a small record of file and position.
class NotesFs : public IFileSystem
{
public:
    void* fopen(const char* path, const char* mode) override
    {
        const bool exists = m_files.count(path) != 0;
        if (mode[0] == 'r' && !exists)
            return nullptr;
        if (mode[0] == 'w' || !exists)
            m_files[path].clear();
        return new Handle{path, mode[0] == 'a' ? m_files[path].size() : 0};
    }
    int fclose(void* file) override
    {
        delete static_cast<Handle*>(file);
        return 0;
    }
    std::size_t fread(void* buf, std::size_t size, std::size_t count, void* file) override
    {
        Handle* h = static_cast<Handle*>(file);
        const std::string& text = m_files[h->path];
        const std::size_t n = std::min(size * count, text.size() - std::min(h->pos, text.size()));
        std::memcpy(buf, text.data() + h->pos, n);
        h->pos += n;
        return size == 0 ? 0 : n / size;
    }
    std::size_t fwrite(const void* buf, std::size_t size, std::size_t count, void* file) override
    {
        Handle* h = static_cast<Handle*>(file);
        std::string& text = m_files[h->path];
        text.replace(std::min(h->pos, text.size()), size * count, static_cast<const char*>(buf),
                     size * count);
        h->pos += size * count;
        return count;
    }
    int fflush(void*) override { return 0; }
    int fseek(void* file, long offset, int whence) override
    {
        Handle* h = static_cast<Handle*>(file);
        const long base = whence == 0   ? 0
                          : whence == 1 ? static_cast<long>(h->pos)
                                        : static_cast<long>(m_files[h->path].size());
        if (base + offset < 0)
            return -1;
        h->pos = static_cast<std::size_t>(base + offset);
        return 0;
    }
    long ftell(void* file) override { return static_cast<long>(static_cast<Handle*>(file)->pos); }
    char* fgets(char*, int, void*) override { return nullptr; }
    int fputs(const char* s, void* file) override
    {
        return fwrite(s, 1, std::strlen(s), file) == std::strlen(s) ? 0 : -1;
    }
    int rename(const char*, const char*) override { return -1; }
    int remove(const char* path) override { return m_files.erase(path) == 1 ? 0 : -1; }
    // Lists every note (the pattern is not interpreted: this file system is flat).
    long findfirst(const char*, FileInfo* out) override
    {
        m_cursor = m_files.begin();
        return findnext(0, out) == 0 ? 0 : -1;
    }
    int findnext(long, FileInfo* out) override
    {
        if (m_cursor == m_files.end())
            return -1;
        const std::string name = m_cursor->first.substr(m_cursor->first.rfind('/') + 1);
        std::snprintf(out->name, sizeof out->name, "%s", name.c_str());
        out->attrib = 0;
        out->size = m_cursor->second.size();
        ++m_cursor;
        return 0;
    }
    int findclose(long) override { return 0; }
    int mkdir(const char*) override { return -1; }
    int rmdir(const char*) override { return -1; }
    int statfs(const char*, uint64*, uint64*, uint64*) override { return -1; }
    int access(const char* path, int) override { return m_files.count(path) ? 0 : -1; }
    int stat(const char* path, FileInfo* out) override
    {
        auto it = m_files.find(path);
        if (it == m_files.end())
            return -1;
        *out = FileInfo();
        std::snprintf(out->name, sizeof out->name, "%s", path);
        out->attrib = 0x8000;
        out->size = it->second.size();
        return 0;
    }

private:
    struct Handle
    {
        std::string path;
        std::size_t pos;
    };
    std::map<std::string, std::string> m_files;
    std::map<std::string, std::string>::iterator m_cursor = m_files.end();
};

void listDirectory(const std::string& pattern)
{
    CFileFind find;
    for (bool more = find.findFile(pattern.c_str()); more; more = find.findNextFile()) {
        std::printf("  %-12s %6u bytes %s%s%s\n", find.getFileName().c_str(), find.getLength(),
                    find.isDirectory() ? "[dir]" : "", find.isHidden() ? "[hidden]" : "",
                    find.isNormal() ? "[normal]" : "");
    }
}

void realFiles()
{
    tourHeading("Files in a temporary directory");
    const std::string dir = (std::filesystem::temp_directory_path() /
                             ("orlix-tour-" + std::to_string(Orlix::Infra::getCurrectProcessID())))
                                .string();
    if (!CFile::makeDirectory(dir.c_str())) {
        std::printf("cannot make %s\n", dir.c_str());
        return;
    }
    const std::string notes = dir + "/notes.txt";

    CFile file;
    file.open(notes.c_str(), CFile::accessWrite | CFile::openCreate);
    file.puts("first line\n");
    file.write("second line\n", 12);
    std::printf("wrote %u bytes, position %u\n", file.getLength(), file.getPosition());
    file.close();

    // openNoTruncate appends; the length is the file's from the start.
    file.open(notes.c_str(), CFile::accessWrite | CFile::openNoTruncate);
    std::printf("reopened for appending: length %u\n", file.getLength());
    file.puts("third line\n");
    file.close();

    // load() reads the whole file into a buffer the object owns until close/unload.
    if (unsigned char* data = file.load(notes.c_str()))
        std::printf("loaded %u bytes:\n%.*s", file.getLength(), static_cast<int>(file.getLength()),
                    reinterpret_cast<const char*>(data));
    file.unload();

    CLfsFile::makeDirectory((dir + "/archive").c_str());
    CLfsFile copy;
    copy.open((dir + "/.settings").c_str(), CFile::accessWrite | CFile::openCreate);
    copy.puts("verbose=1\n");
    copy.close();

    std::printf("%s/*:\n", dir.c_str());
    listDirectory(dir + "/*");

    uint64 freeToCaller = 0, total = 0, totalFree = 0;
    if (CFile::statFS(dir.c_str(), freeToCaller, total, totalFree))
        std::printf("the volume has %llu of %llu MiB free\n",
                    static_cast<unsigned long long>(freeToCaller >> 20),
                    static_cast<unsigned long long>(total >> 20));

    CFile::remove(notes.c_str());
    CFile::remove((dir + "/.settings").c_str());
    CFile::removeDirectory((dir + "/archive").c_str());
    std::printf("removed the directory again: %s\n",
                CFile::removeDirectory(dir.c_str()) ? "yes" : "no");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored); // in case a step above failed
}

void hookedFiles()
{
    tourHeading("A file system of our own under notes:");
    NotesFs notesFs;
    hookFileSystem("notes:", &notesFs); // every path beginning with "notes:" goes there

    CFile file;
    file.open("notes:/todo", CFile::accessWrite | CFile::openCreate);
    file.puts("write the docs\n");
    file.close();
    file.open("notes:/done", CFile::accessWrite | CFile::openCreate);
    file.puts("the tour\n");
    file.close();

    if (unsigned char* data = file.load("notes:/todo"))
        std::printf("notes:/todo holds %u bytes: %.*s", file.getLength(),
                    static_cast<int>(file.getLength()), reinterpret_cast<const char*>(data));
    file.unload();
    std::printf("notes:/*:\n");
    listDirectory("notes:/*");

    hookFileSystem("notes:", nullptr);
    std::printf("after removing the hook, notes:/todo exists: %s\n",
                CFile::access("notes:/todo", 0) ? "yes" : "no");
}

} // namespace

void tourFiles()
{
    realFiles();
    hookedFiles();
}
