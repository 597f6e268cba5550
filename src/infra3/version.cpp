// Version records.
#include "infra/version.h"

#include "infra/print.h"
#include "infra3/textscan.h"

#include <cstring>

namespace Orlix {
namespace Infra {

namespace {

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The revision: a number when the text starts with a digit; otherwise, like the scan pattern
// "%*[$a-zA-Z:]%d", a run of at least one '$', letter or ':' followed by a number; else 0.
int readRevision(const char* text)
{
    if (text == nullptr)
        return 0;
    if (Detail::isDigitChar(text[0]))
        return Detail::parseInt(text);
    const char* p = text;
    while (*p == '$' || *p == ':' || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))
        ++p;
    int value = 0;
    if (p != text)
        Detail::scanInt(p, value);
    return value;
}

// Reads a build-date text ("Nov 28 2016") into date: the month always, day and year where
// they can be read, like "%d %d" after the three letters of the month name.
void readDate(const char* text, SystemTime& date)
{
    int month = 13;
    for (int i = 0; i < 12; ++i) {
        if (std::strncmp(text, kMonthNames[i], 3) == 0) {
            month = i + 1;
            break;
        }
    }
    date.month = month;
    const char* rest = text;
    for (int i = 0; i < 3 && *rest != '\0'; ++i)
        ++rest;
    int day = 0;
    if (Detail::scanInt(rest, day)) {
        date.day = day;
        int year = 0;
        if (Detail::scanInt(rest, year))
            date.year = year;
    }
}

} // namespace

// CTime::minTime, written out so that it is constant-initialised: a version record built by
// another static object at load may read it before the time module's constants exist.
SystemTime CVersion::appDate = {2000, 1, 1, 6, 0, 0, 0, 0};

CVersion::CVersion(const char* name, int major, int minor, int revision, const char* svn,
                   const char* date)
    : name(), major(major), minor(minor), revision(revision), svn(readRevision(svn)), date()
{
    if (name != nullptr) {
        std::strncpy(this->name, name, sizeof(this->name) - 1);
        this->name[sizeof(this->name) - 1] = '\0';
    }
    if (date != nullptr)
        readDate(date, this->date);
}

void CVersion::print() const
{
    logInfo("[*] %s %d.%d.%d.%d Built in %d/%2d/%2d [*]\n", name, major, minor, revision, svn,
            date.year, date.month, date.day);
}

void CVersion::setAppDate(const char* date)
{
    if (date != nullptr)
        readDate(date, appDate);
}

} // namespace Infra
} // namespace Orlix
