// Running the orlix program and the reference tools from the tests.
#ifndef ORLIX_TESTS_CLI_CLITEST_H
#define ORLIX_TESTS_CLI_CLITEST_H

#include <string>
#include <vector>

namespace OrlixTest {

// What a finished program left behind.
struct RunResult
{
    int status = -1; // exit code; -1 when it could not be started or did not exit normally
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up in PATH) with input as its standard input, no shell involved, and
// waits for it. Its output goes through files in a private temporary directory.
RunResult run(const std::vector<std::string>& argv, const std::string& input = std::string());

// Runs the orlix program under test with the given arguments.
RunResult orlix(const std::vector<std::string>& args, const std::string& input = std::string());

// size pseudo-random bytes, the same for the same seed.
std::string randomBytes(std::size_t size, unsigned int seed);

// Writes data to path; false when that failed.
bool writeFile(const std::string& path, const std::string& data);

} // namespace OrlixTest

#endif // ORLIX_TESTS_CLI_CLITEST_H
