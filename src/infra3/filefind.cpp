// CFileFind and CFileFindEx: one search record, two surfaces.
#include "infra/filefind.h"

#include "infra3/filesystem_internal.h"

#include <cstring>

namespace Orlix {
namespace Infra {
namespace Detail {

struct FileFindInternal
{
    long m_handle = -1;           // the file system's search handle; −1 when none is open
    FileInfo m_info = FileInfo(); // the current entry (all zero at first)
    FileSystemChoice m_opt;       // the file system of the current search
    flex_string m_directory;      // the last pattern's directory part, with its '/'

    bool findFile(const char* pattern)
    {
        close();
        const char* slash = pattern != nullptr ? std::strrchr(pattern, '/') : nullptr;
        if (slash != nullptr)
            m_directory.assign(pattern, static_cast<std::size_t>(slash - pattern) + 1);
        else
            m_directory.clear();
        m_opt.choose(getFileSystem(pattern));
        // A failed search leaves the directory in the name, so the accessors show where it
        // looked.
        copyFileName(m_info.name, m_directory.c_str());
        m_handle = m_opt.get()->findfirst(pattern, &m_info);
        return m_handle != -1;
    }

    bool findNextFile()
    {
        copyFileName(m_info.name, m_directory.c_str());
        return m_opt.get()->findnext(m_handle, &m_info) != -1;
    }

    void close()
    {
        if (m_handle == -1)
            return;
        m_opt.get()->findclose(m_handle);
        m_handle = -1;
    }

    unsigned int length() const { return static_cast<unsigned int>(m_info.size); }
    bool hasAttribute(unsigned int bit) const { return (m_info.attrib & bit) != 0; }
};

} // namespace Detail

// ================================================================== CFileFind

CFileFind::CFileFind() : m_internal(new Detail::FileFindInternal()) {}

CFileFind::~CFileFind()
{
    m_internal->close();
    delete m_internal;
}

bool CFileFind::findFile(const char* pattern)
{
    return m_internal->findFile(pattern);
}

bool CFileFind::findNextFile()
{
    return m_internal->findNextFile();
}

void CFileFind::close()
{
    m_internal->close();
}

unsigned int CFileFind::getLength()
{
    return m_internal->length();
}

std::string CFileFind::getFileName()
{
    return std::string(m_internal->m_info.name);
}

std::string CFileFind::getFilePath()
{
    return std::string(m_internal->m_directory.c_str()) + m_internal->m_info.name;
}

bool CFileFind::isReadOnly()
{
    return m_internal->hasAttribute(0x01);
}

bool CFileFind::isDirectory()
{
    return m_internal->hasAttribute(0x10);
}

bool CFileFind::isHidden()
{
    return m_internal->hasAttribute(0x02);
}

bool CFileFind::isNormal()
{
    return m_internal->m_info.attrib == 0;
}

// ================================================================== CFileFindEx

CFileFindEx::CFileFindEx() : m_internal(new Detail::FileFindInternal()) {}

CFileFindEx::~CFileFindEx()
{
    m_internal->close();
    delete m_internal;
}

bool CFileFindEx::findFile(const char* pattern)
{
    return m_internal->findFile(pattern);
}

bool CFileFindEx::findNextFile()
{
    return m_internal->findNextFile();
}

void CFileFindEx::close()
{
    m_internal->close();
}

unsigned int CFileFindEx::getLength() const
{
    return m_internal->length();
}

flex_string CFileFindEx::getFileName() const
{
    return flex_string(m_internal->m_info.name);
}

flex_string CFileFindEx::getFilePath() const
{
    flex_string path(m_internal->m_directory);
    path += m_internal->m_info.name;
    return path;
}

bool CFileFindEx::isReadOnly() const
{
    return m_internal->hasAttribute(0x01);
}

bool CFileFindEx::isDirectory() const
{
    return m_internal->hasAttribute(0x10);
}

bool CFileFindEx::isHidden() const
{
    return m_internal->hasAttribute(0x02);
}

bool CFileFindEx::isNormal() const
{
    return m_internal->m_info.attrib == 0;
}

} // namespace Infra
} // namespace Orlix
