// Separate file objects and searches on several threads at once: the default file system's
// registries of stream buffers and search handles are shared by all of them.
#include "support/testsupport.h"

#include "infra/file.h"
#include "infra/filefind.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace Orlix::Infra;

TEST(FilesConcurrency, IndependentFilesAndSearchesOnManyThreads)
{
    OrlixTest::TempDir dir;
    constexpr int kThreads = 4;
    constexpr int kFiles = 100;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kFiles; ++i) {
                const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                const std::string path = dir.file(name);
                CFile file;
                if (!file.open(path.c_str(), CFile::accessWrite | CFile::openCreate) ||
                    file.puts(name.c_str()) < 0)
                    ++failures;
                file.close();
                CLfsFile check;
                const unsigned char* data = check.load(path.c_str());
                if (data == nullptr ||
                    std::string(reinterpret_cast<const char*>(data),
                                static_cast<std::size_t>(check.getLength())) != name)
                    ++failures;
                // A search runs while other threads create files in the same directory.
                CFileFind find;
                if (!find.findFile((dir.path() + "/t" + std::to_string(t) + "-*").c_str()))
                    ++failures;
                int mine = 1;
                while (find.findNextFile())
                    ++mine;
                if (mine < i + 1)
                    ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}
