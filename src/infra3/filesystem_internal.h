// The hook lookup shared by the file objects and the directory searches (internal).
#ifndef ORLIX_SRC_INFRA3_FILESYSTEM_INTERNAL_H
#define ORLIX_SRC_INFRA3_FILESYSTEM_INTERNAL_H

#include "infra/filesystem.h"

namespace Orlix {
namespace Infra {
namespace Detail {

// The IFileSystem for path: the one of the first hook entry (1 to 31, in order) whose prefix
// is not empty and begins path, else FileDefaultOpt::instance(). Never null; a null path
// gets the default.
IFileSystem* getFileSystem(const char* path);

// The file system a file object or a search works through (their m_opt). The default file
// system is destroyed at process exit like every process-wide service, yet a file held by a
// static object may be closed after that; so the default is reached through
// FileDefaultOpt::instance() on every use (a fresh one after exit), never through a pointer
// kept from before. A hook is used as chosen: its owner keeps it alive.
class FileSystemChoice
{
public:
    // The default file system.
    FileSystemChoice() = default;

    // Works through fs from now on (the default when fs is the default one).
    void choose(IFileSystem* fs)
    {
        m_default = fs == FileDefaultOpt::instance();
        m_fs = m_default ? nullptr : fs;
    }

    // Works through the default file system from now on.
    void chooseDefault()
    {
        m_fs = nullptr;
        m_default = true;
    }

    // The file system to call now.
    IFileSystem* get() const { return m_default ? FileDefaultOpt::instance() : m_fs; }

    // There is a file system to call (always).
    explicit operator bool() const { return get() != nullptr; }

private:
    IFileSystem* m_fs = nullptr; // the chosen hook; unused while m_default
    bool m_default = true;
};

// True, with errno and the last error set to EINVAL, when path is null: a null path names no
// file, and no file system (the platform's least of all) is ever handed one.
bool refuseNullPath(const char* path);

// Copies at most 259 characters of text into a FileInfo name and terminates it.
void copyFileName(char (&name)[260], const char* text);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_FILESYSTEM_INTERNAL_H
