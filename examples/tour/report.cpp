// The end of the day: seal the readings file with its MD5 and SHA-1 digests, close the log,
// show what the gateway wrote and remove it again (unless --keep).
#include "tour.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Orlix::Infra::CFile;
using Orlix::Infra::CFileFind;

// Loads the whole file (the buffer belongs to the CFile until unload) and returns its last
// line.
std::string lastLine(const std::string& path)
{
    CFile file;
    const char* data = reinterpret_cast<const char*>(file.load(path.c_str()));
    if (data == nullptr)
        return std::string();
    std::string text(data, file.getLength());
    file.unload();
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.substr(text.rfind('\n') + 1);
}

void describeLog(const Gateway& gateway, unsigned long logged)
{
    Orlix::Infra::FileInfo info;
    if (gateway.logPath.empty() || !CFile::stat(gateway.logPath.c_str(), info)) {
        tourSay("no log file was written");
        return;
    }
    const auto size = static_cast<unsigned long long>(info.size);
    if (size <= logged)
        tourSay("%s holds %llu of the %lu bytes logged", gateway.logPath.c_str(), size, logged);
    else
        tourSay("%s holds %llu bytes (%lu logged now)", gateway.logPath.c_str(), size, logged);
    if (logged > size)
        tourSay("(it was started afresh whenever it had reached its limit); its last line:");
    else
        tourSay("its last line:");
    tourSay("  %s", lastLine(gateway.logPath).c_str());
    if (gateway.logOutside)
        tourSay("(your -logpath: the tour leaves that file where it is)");
}

} // namespace

bool sealReadings(const Gateway& gateway)
{
    tourStep("Sealing the day's readings");
    CFile file;
    if (!file.open(gateway.readingsPath.c_str(), CFile::accessRead)) {
        tourSay("cannot read %s", gateway.readingsPath.c_str());
        return false;
    }
    // Fed in pieces, as a file too large to hold in memory would be.
    Orlix::Utils::CMd5 md5;
    Orlix::Utils::CSha1 sha1;
    unsigned char piece[1024];
    unsigned int lines = 0;
    for (long n; (n = file.read(piece, sizeof(piece))) > 0;) {
        md5.update(piece, static_cast<unsigned int>(n));
        sha1.update(piece, static_cast<unsigned int>(n));
        for (long i = 0; i < n; ++i)
            lines += piece[i] == '\n' ? 1 : 0;
    }
    char md5Hex[Orlix::Utils::CMd5::hexLength + 1];
    md5.hex(md5Hex);
    md5Hex[Orlix::Utils::CMd5::hexLength] = '\0'; // hex() writes no terminator
    char sha1Hex[Orlix::Utils::Sha1HexLength + 1];
    sha1.hex(sha1Hex, sizeof(sha1Hex));
    tourSay("readings.csv: %u lines, %u bytes; the last reading:", lines, file.getLength());
    file.close();
    tourSay("  %s", lastLine(gateway.readingsPath).c_str());
    tourSay("MD5   %s", md5Hex);
    tourSay("SHA-1 %s", sha1Hex);
    return true;
}

bool cleanUp(Gateway& gateway)
{
    tourStep("What the gateway leaves behind");
    describeLog(gateway, stopLog());

    const std::string dir = gateway.workDir;
    std::vector<std::string> written;
    CFileFind find;
    for (bool more = find.findFile((dir + "/*").c_str()); more; more = find.findNextFile()) {
        if (find.isDirectory())
            continue; // "." and ".."
        tourSay("%-40s %6u bytes", find.getFilePath().c_str(), find.getLength());
        written.push_back(find.getFilePath());
    }
    find.close();
    if (gateway.keep) {
        tourSay("kept %s (--keep): remove it when done", dir.c_str());
        return true;
    }
    bool ok = true;
    for (const std::string& path : written)
        ok = CFile::remove(path.c_str()) && ok;
    ok = CFile::removeDirectory(dir.c_str()) && ok;
    if (!ok) {
        std::error_code error;
        std::filesystem::remove_all(dir, error);
        tourSay("%s: %s", dir.c_str(), error ? "could NOT be removed" : "removed");
        return !error;
    }
    tourSay("removed %s (run the tour with --keep to keep it)", dir.c_str());
    return true;
}
