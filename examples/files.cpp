// Files: write, append, read back and load a file, list a directory, and serve a path
// prefix from a file system of your own.
//
// Build: g++ -std=c++17 files.cpp $(pkg-config --cflags --libs orlix)
#include <infra/file.h>
#include <infra/filefind.h>
#include <infra/filesystem.h>
#include <infra/thread.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

using Orlix::uint64;
using Orlix::Infra::CFile;
using Orlix::Infra::CFileFind;
using Orlix::Infra::FileDefaultOpt;
using Orlix::Infra::FileInfo;
using Orlix::Infra::IFileSystem;

namespace {

// A file system that serves "flash:<path>" from a directory on disk, the way a device might
// map a storage partition. Every operation maps the path and forwards to the default file
// system; a real one would talk to its storage here.
class FlashFs : public IFileSystem
{
public:
    explicit FlashFs(std::string root) : m_root(std::move(root)) {}

    void* fopen(const char* path, const char* mode) override
    {
        return disk()->fopen(map(path).c_str(), mode);
    }
    int fclose(void* f) override { return disk()->fclose(f); }
    size_t fread(void* b, size_t s, size_t n, void* f) override
    {
        return disk()->fread(b, s, n, f);
    }
    size_t fwrite(const void* b, size_t s, size_t n, void* f) override
    {
        return disk()->fwrite(b, s, n, f);
    }
    int fflush(void* f) override { return disk()->fflush(f); }
    int fseek(void* f, long offset, int whence) override
    {
        return disk()->fseek(f, offset, whence);
    }
    long ftell(void* f) override { return disk()->ftell(f); }
    // The 64-bit pair is what CLfsFile seeks and tells with.
    int fseek64(void* f, Orlix::int64 offset, int whence) override
    {
        return disk()->fseek64(f, offset, whence);
    }
    Orlix::int64 ftell64(void* f) override { return disk()->ftell64(f); }
    char* fgets(char* b, int n, void* f) override { return disk()->fgets(b, n, f); }
    int fputs(const char* s, void* f) override { return disk()->fputs(s, f); }
    int rename(const char* from, const char* to) override
    {
        return disk()->rename(map(from).c_str(), map(to).c_str());
    }
    int remove(const char* path) override { return disk()->remove(map(path).c_str()); }
    long findfirst(const char* pattern, FileInfo* out) override
    {
        return disk()->findfirst(map(pattern).c_str(), out);
    }
    int findnext(long h, FileInfo* out) override { return disk()->findnext(h, out); }
    int findclose(long h) override { return disk()->findclose(h); }
    int mkdir(const char* path) override { return disk()->mkdir(map(path).c_str()); }
    int rmdir(const char* path) override { return disk()->rmdir(map(path).c_str()); }
    int statfs(const char* path, uint64* a, uint64* b, uint64* c) override
    {
        return disk()->statfs(map(path).c_str(), a, b, c);
    }
    int access(const char* path, int mode) override
    {
        return disk()->access(map(path).c_str(), mode);
    }
    int stat(const char* path, FileInfo* out) override
    {
        return disk()->stat(map(path).c_str(), out);
    }

private:
    static IFileSystem* disk() { return FileDefaultOpt::instance(); }
    std::string map(const char* path) const { return m_root + (path + std::strlen("flash:")); }
    std::string m_root;
};

} // namespace

int main()
{
    namespace fs = std::filesystem;
    const std::string dir =
        (fs::temp_directory_path() /
         ("orlix-example-files-" + std::to_string(Orlix::Infra::getCurrectProcessID())))
            .string();
    if (!CFile::makeDirectory(dir.c_str()))
        return 1;
    const std::string notes = dir + "/notes.txt";

    // Write: position and length are tracked in the object.
    CFile file;
    file.open(notes.c_str(), CFile::accessWrite | CFile::openCreate);
    file.puts("first line\n");
    file.write("second line\n", 12);
    file.close();

    // openNoTruncate appends.
    file.open(notes.c_str(), CFile::accessWrite | CFile::openNoTruncate);
    file.puts("third line\n");
    file.close();

    // Read line by line.
    char line[64];
    int lines = 0;
    file.open(notes.c_str(), CFile::accessRead);
    while (file.gets(line, sizeof(line)) != nullptr)
        ++lines;
    file.close();

    // Load the whole file: the buffer belongs to the object until unload(), close() or its end.
    const unsigned char* data = file.load(notes.c_str());
    const unsigned int length = file.getLength();
    const bool loaded = data != nullptr && std::memcmp(data, "first line\n", 11) == 0;
    file.unload();
    std::printf("%s: %d lines, %u bytes\n", notes.c_str(), lines, length);

    // Paths beginning with "flash:" go to FlashFs; file objects and searches work unchanged.
    FlashFs flash(dir);
    Orlix::Infra::hookFileSystem("flash:", &flash);
    file.open("flash:/config.ini", CFile::accessWrite | CFile::openCreate);
    file.puts("rate=5\n");
    file.close();
    CFileFind find;
    int entries = 0;
    for (bool more = find.findFile("flash:/*"); more; more = find.findNextFile()) {
        if (find.isDirectory())
            continue; // "." and ".."
        std::printf("  %-12s %3u bytes\n", find.getFileName().c_str(), find.getLength());
        ++entries;
    }
    find.close();
    Orlix::Infra::hookFileSystem("flash:", nullptr); // remove the hook

    const bool onDisk = CFile::access((dir + "/config.ini").c_str(), 0);
    CFile::remove((dir + "/config.ini").c_str());
    CFile::remove(notes.c_str());
    const bool removed = CFile::removeDirectory(dir.c_str());

    const bool ok = lines == 3 && length == 34 && loaded && entries == 2 && onDisk && removed;
    std::printf("files: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
