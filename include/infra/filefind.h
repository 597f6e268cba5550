/// @file
/// Directory search: iterate over the entries that match a wildcard pattern.
///
/// CFileFind and CFileFindEx walk the entries of one directory whose names match the last
/// component of a pattern, through the IFileSystem (infra/filesystem.h) that the pattern's
/// path selects, and report each entry's name, full path, size and attributes. The two
/// classes behave the same; CFileFind has virtual operations and returns std::string,
/// CFileFindEx has plain operations and returns flex_string.
///
///     Orlix::Infra::CFileFind find;
///     for (bool more = find.findFile("/var/log/*.log"); more; more = find.findNextFile())
///         printf("%s %u\n", find.getFilePath().c_str(), find.getLength());
///     find.close();   // also done by the next findFile() and by the destructor
///
/// The entries come in the order the file system reports them, none filtered out: with the
/// default file system "." and ".." are reported when the pattern matches them ("*" does).
/// The wildcard syntax is the file system's; the default's is fnmatch's ('*', '?', bracket
/// expressions) in the last path component. Only '/' separates directories; a pattern
/// without one searches the current directory and reports paths equal to the names.
///
/// Thread-safety: a search object is not locked; use it from one thread at a time.
///
/// Failure: nothing is logged or thrown; failures show only as false results. After a failed
/// findFile() the accessors report the zeroed or earlier entry, with the name holding the
/// pattern's directory part.
#ifndef ORLIX_INFRA_FILEFIND_H
#define ORLIX_INFRA_FILEFIND_H

#include "infra/defs.h"
#include "infra/filesystem.h"
#include "infra/infra3/flex_string.h"

#include <string>

namespace Orlix {
namespace Infra {

namespace Detail {
struct FileFindInternal;
} // namespace Detail

/// A directory search with virtual operations.
class ORLIX_API CFileFind
{
public:
    /// An idle search: no entry, all accessors report zero or empty values.
    CFileFind();
    /// Ends a search that is open.
    virtual ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    /// Ends an open search and starts a new one over pattern; true when at least one entry
    /// matched (it is then the current entry).
    virtual bool findFile(const char* pattern);

    /// Moves to the next matching entry; false at the end and when no search is open.
    virtual bool findNextFile();

    /// Ends the search, if one is open.
    virtual void close();

    /// The low 32 bits of the current entry's size.
    virtual unsigned int getLength();

    /// The current entry's name, without its directory.
    virtual std::string getFileName();

    /// The pattern's directory part (up to and including its last '/') followed by the name.
    virtual std::string getFilePath();

    /// The entry cannot be written (attribute 0x01).
    virtual bool isReadOnly();

    /// The entry is a directory (attribute 0x10).
    virtual bool isDirectory();

    /// The entry is hidden (attribute 0x02; with the default file system, a name beginning
    /// with a dot).
    virtual bool isHidden();

    /// The entry has no attribute at all: a plain file.
    virtual bool isNormal();

private:
    Detail::FileFindInternal* m_internal;
};

/// The same search with plain operations and flex_string results.
class ORLIX_API CFileFindEx
{
public:
    /// An idle search.
    CFileFindEx();
    /// Ends a search that is open.
    ~CFileFindEx();
    CFileFindEx(const CFileFindEx&) = delete;
    CFileFindEx& operator=(const CFileFindEx&) = delete;

    /// As CFileFind::findFile.
    bool findFile(const char* pattern);
    /// As CFileFind::findNextFile.
    bool findNextFile();
    /// As CFileFind::close.
    void close();
    /// As CFileFind::getLength.
    unsigned int getLength() const;
    /// As CFileFind::getFileName.
    flex_string getFileName() const;
    /// As CFileFind::getFilePath.
    flex_string getFilePath() const;
    /// As CFileFind::isReadOnly.
    bool isReadOnly() const;
    /// As CFileFind::isDirectory.
    bool isDirectory() const;
    /// As CFileFind::isHidden.
    bool isHidden() const;
    /// As CFileFind::isNormal.
    bool isNormal() const;

private:
    Detail::FileFindInternal* m_internal;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_FILEFIND_H
