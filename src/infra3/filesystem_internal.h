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

// Copies at most 259 characters of text into a FileInfo name and terminates it.
void copyFileName(char (&name)[260], const char* text);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_FILESYSTEM_INTERNAL_H
