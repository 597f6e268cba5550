// Files against what a user would otherwise write, in the same program:
//  - sequential write and read of 256 MiB through CFile, through plain stdio given the same
//    16 KiB buffer, and through read(2)/write(2), in 4 KiB and 64 KiB requests;
//  - CFile::load of a 64 MiB file against reading it with std::ifstream;
//  - listing a directory of 10,000 entries with CFileFind against
//    std::filesystem::directory_iterator (bare, and asking each entry's size as CFileFind
//    reports it).
// The data lives in a temporary directory that is removed at exit.
#include "infra/file.h"
#include "infra/filefind.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using Orlix::Infra::CFile;
using Orlix::Infra::CFileFind;

namespace {

constexpr std::size_t kStreamBytes = std::size_t(256) << 20;
constexpr std::size_t kLoadBytes = std::size_t(64) << 20;
constexpr int kEntries = 10000;
constexpr std::size_t kStdioBuffer = 16384;

class Workspace
{
public:
    Workspace()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orlix-bench-files-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~Workspace()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

Workspace& workspace()
{
    static Workspace w;
    return w;
}

std::vector<char>& chunk(std::size_t size)
{
    static std::vector<char> data;
    if (data.size() < size)
        data.assign(size, 'x');
    return data;
}

void setBytes(benchmark::State& state, std::size_t perIteration)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perIteration));
}

// ---------------------------------------------------------------- sequential write

void BM_WriteCFile(benchmark::State& state)
{
    const std::size_t request = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = chunk(request);
    const std::string path = workspace().file("w-cfile");
    for (auto _ : state) {
        CFile file;
        file.open(path.c_str(), CFile::accessWrite | CFile::openCreate);
        for (std::size_t done = 0; done < kStreamBytes; done += request)
            file.write(data.data(), static_cast<unsigned int>(request));
        file.close();
    }
    setBytes(state, kStreamBytes);
}

void BM_WriteStdio(benchmark::State& state)
{
    const std::size_t request = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = chunk(request);
    const std::string path = workspace().file("w-stdio");
    std::vector<char> buffer(kStdioBuffer);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
        for (std::size_t done = 0; done < kStreamBytes; done += request)
            std::fwrite(data.data(), 1, request, f);
        std::fclose(f);
    }
    setBytes(state, kStreamBytes);
}

void BM_WriteSyscall(benchmark::State& state)
{
    const std::size_t request = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = chunk(request);
    const std::string path = workspace().file("w-syscall");
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        for (std::size_t done = 0; done < kStreamBytes; done += request)
            benchmark::DoNotOptimize(::write(fd, data.data(), request));
        ::close(fd);
    }
    setBytes(state, kStreamBytes);
}

// ---------------------------------------------------------------- sequential read

const std::string& streamFile()
{
    static const std::string path = [] {
        const std::string p = workspace().file("r-source");
        std::FILE* f = std::fopen(p.c_str(), "wb");
        const std::vector<char>& data = chunk(1 << 20);
        for (std::size_t done = 0; done < kStreamBytes; done += data.size())
            std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

void BM_ReadCFile(benchmark::State& state)
{
    const std::size_t request = static_cast<std::size_t>(state.range(0));
    std::vector<char> buf(request);
    const std::string& path = streamFile();
    for (auto _ : state) {
        CFile file;
        file.open(path.c_str(), CFile::accessRead);
        while (file.read(buf.data(), static_cast<unsigned int>(request)) > 0) {
        }
        file.close();
    }
    setBytes(state, kStreamBytes);
}

void BM_ReadStdio(benchmark::State& state)
{
    const std::size_t request = static_cast<std::size_t>(state.range(0));
    std::vector<char> buf(request);
    std::vector<char> buffer(kStdioBuffer);
    const std::string& path = streamFile();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
        while (std::fread(buf.data(), 1, request, f) > 0) {
        }
        std::fclose(f);
    }
    setBytes(state, kStreamBytes);
}

void BM_ReadSyscall(benchmark::State& state)
{
    const std::size_t request = static_cast<std::size_t>(state.range(0));
    std::vector<char> buf(request);
    const std::string& path = streamFile();
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        while (::read(fd, buf.data(), request) > 0) {
        }
        ::close(fd);
    }
    setBytes(state, kStreamBytes);
}

// ---------------------------------------------------------------- whole-file load

const std::string& loadFile()
{
    static const std::string path = [] {
        const std::string p = workspace().file("load-source");
        std::FILE* f = std::fopen(p.c_str(), "wb");
        const std::vector<char>& data = chunk(1 << 20);
        for (std::size_t done = 0; done < kLoadBytes; done += data.size())
            std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

void BM_LoadCFile(benchmark::State& state)
{
    const std::string& path = loadFile();
    for (auto _ : state) {
        CFile file;
        benchmark::DoNotOptimize(file.load(path.c_str()));
    }
    setBytes(state, kLoadBytes);
}

void BM_LoadIfstream(benchmark::State& state)
{
    const std::string& path = loadFile();
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        std::vector<char> data(static_cast<std::size_t>(in.tellg()));
        in.seekg(0);
        in.read(data.data(), static_cast<std::streamsize>(data.size()));
        benchmark::DoNotOptimize(data.data());
    }
    setBytes(state, kLoadBytes);
}

// ---------------------------------------------------------------- directory listing

const std::string& listingDirectory()
{
    static const std::string path = [] {
        const std::string dir = workspace().file("listing");
        std::filesystem::create_directory(dir);
        for (int i = 0; i < kEntries; ++i) {
            const int fd = ::open((dir + "/entry" + std::to_string(i) + ".dat").c_str(),
                                  O_WRONLY | O_CREAT, 0600);
            ::close(fd);
        }
        return dir;
    }();
    return path;
}

void BM_ListCFileFind(benchmark::State& state)
{
    const std::string pattern = listingDirectory() + "/*";
    for (auto _ : state) {
        CFileFind find;
        std::size_t count = 0, bytes = 0;
        for (bool more = find.findFile(pattern.c_str()); more; more = find.findNextFile()) {
            ++count;
            bytes += find.getLength();
        }
        benchmark::DoNotOptimize(count + bytes);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_ListDirectoryIterator(benchmark::State& state)
{
    const std::string& dir = listingDirectory();
    for (auto _ : state) {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            benchmark::DoNotOptimize(&entry);
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

// The same information CFileFind reports: each entry's type and size (one stat per entry).
void BM_ListDirectoryIteratorWithSize(benchmark::State& state)
{
    const std::string& dir = listingDirectory();
    for (auto _ : state) {
        std::size_t count = 0, bytes = 0;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            ++count;
            if (!entry.is_directory(ec))
                bytes += static_cast<std::size_t>(entry.file_size(ec));
        }
        benchmark::DoNotOptimize(count + bytes);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

} // namespace

BENCHMARK(BM_WriteCFile)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteStdio)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteSyscall)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadCFile)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadStdio)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadSyscall)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadCFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadIfstream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListCFileFind)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListDirectoryIterator)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListDirectoryIteratorWithSize)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
