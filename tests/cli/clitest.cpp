#include "clitest.h"

#include "support/testsupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <random>

extern char** environ;

namespace OrlixTest {

RunResult run(const std::vector<std::string>& argv, const std::string& input)
{
    RunResult result;
    TempDir dir;
    const std::string in = dir.file("stdin"), out = dir.file("stdout"), err = dir.file("stderr");
    if (!writeFile(in, input))
        return result;

    // Files rather than pipes: nothing can block however much either side writes.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

RunResult orlix(const std::vector<std::string>& args, const std::string& input)
{
#ifdef ORLIX_CLI_EMULATOR
    // A cross build's program runs through the emulator that runs this test.
    std::vector<std::string> argv{ORLIX_CLI_EMULATOR ORLIX_CLI_PATH};
#else
    std::vector<std::string> argv{ORLIX_CLI_PATH};
#endif
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, input);
}

std::string randomBytes(std::size_t size, unsigned int seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

bool writeFile(const std::string& path, const std::string& data)
{
    std::ofstream file(path, std::ios::binary);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(file);
}

} // namespace OrlixTest
