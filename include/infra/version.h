/// @file
/// Version records: which version of which module a process consists of.
///
/// A CVersion holds a module's name, its three-part version number, the source revision it was
/// built from and its build date, and prints them in one fixed line at info level:
///
///     static const CVersion kVersion("net", 3, 2, 1, "$Revision: 123 $", __DATE__);
///     kVersion.print();  // [*] net 3.2.1.123 Built in 2016/11/28 [*]
///
/// The revision text is read as a number when it begins with a digit ("12abc" gives 12);
/// otherwise a leading run of '$', letters and ':' is skipped and the number behind it read, so
/// a version-control keyword such as "$Revision: 123 $" gives 123; anything else gives 0. The
/// date text is read in the compiler's `__DATE__` form, "Nov 28 2016" or "Mar  5 2016": a month
/// name (case-sensitive) then day and year. An unknown month name gives month 13; a day or year
/// that cannot be read stays 0 (numbers beyond the int range are clamped).
///
/// CVersion::appDate holds the application's build date, initially 2000-01-01 (the time
/// module's CTime::minTime); setAppDate() sets it from a date text.
///
/// Thread-safety: CVersion objects are plain values. setAppDate() and appDate are not guarded:
/// set the date at start-up.
///
/// Failure: none. Unreadable texts leave the affected fields at 0.
#ifndef ORLIX_INFRA_VERSION_H
#define ORLIX_INFRA_VERSION_H

#include "infra/defs.h"
#include "infra/time.h"

namespace Orlix {
namespace Infra {

/// A module's version record: name, version number, source revision and build date (version.h
/// says how the texts are read).
class ORLIX_API CVersion
{
public:
    /// Fills the record: the first 31 characters of name (null reads as ""), the three
    /// numbers, the revision read from svn and the date read from date (null leaves 0s).
    CVersion(const char* name, int major, int minor, int revision, const char* svn,
             const char* date);

    /// Copies every field.
    CVersion(const CVersion& other) = default;
    /// Copies every field.
    CVersion& operator=(const CVersion& other) = default;

    /// Prints "[*] name major.minor.revision.svn Built in year/month/day [*]" at info level,
    /// month and day right-aligned in two columns ("2016/ 3/ 5").
    void print() const;

    /// Sets appDate's month from date's month name (13 when unknown) and its day and year from
    /// the numbers that follow, where they can be read; the other fields keep their values.
    /// Null changes nothing.
    static void setAppDate(const char* date);

    /// The application's build date; initially 2000-01-01 00:00:00.
    static SystemTime appDate;

    char name[32];   ///< the module name: terminated, at most 31 characters
    int major;       ///< the first part of the version number
    int minor;       ///< the second part of the version number
    int revision;    ///< the third part of the version number
    int svn;         ///< the source revision
    SystemTime date; ///< year, month and day; the other fields are 0
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_VERSION_H
