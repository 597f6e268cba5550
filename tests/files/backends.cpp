#include "files/backends.h"

#include <filesystem>
#include <fstream>

namespace OrlixTest {

void RealBackend::putFile(const std::string& name, const std::string& contents)
{
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    out << contents;
}

void RealBackend::putDirectory(const std::string& name)
{
    std::filesystem::create_directory(path(name));
}

void RealBackend::setReadOnly(const std::string& name, bool readOnly)
{
    using std::filesystem::perms;
    std::filesystem::permissions(path(name), perms::owner_write,
                                 readOnly ? std::filesystem::perm_options::remove
                                          : std::filesystem::perm_options::add);
}

std::string RealBackend::contents(const std::string& name) const
{
    return readFile(path(name));
}

bool RealBackend::exists(const std::string& name) const
{
    std::error_code ignored;
    return std::filesystem::exists(path(name), ignored);
}

} // namespace OrlixTest
