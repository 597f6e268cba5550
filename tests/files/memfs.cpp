#include "files/memfs.h"

#include <algorithm>
#include <cstring>
#include <ctime>

using Orlix::int64;
using Orlix::uint64;
using Orlix::Infra::FileInfo;

namespace OrlixTest {

struct MemFs::Node
{
    bool directory = false;
    bool readOnly = false;
    std::vector<char> data;
    int64 changeTime = 0;
    int64 accessTime = 0;
    int64 modifyTime = 0;

    void touch() { changeTime = accessTime = modifyTime = static_cast<int64>(std::time(nullptr)); }
};

struct MemFs::Stream
{
    std::shared_ptr<Node> node;
    int64 position = 0;
    bool canRead = false;
    bool canWrite = false;
    bool append = false;
};

struct MemFs::Search
{
    std::vector<FileInfo> entries;
    std::size_t next = 0;
};

namespace {

// '*' and '?' only: enough for the tests, and independent of the platform's matcher.
bool wildcardMatch(const char* pattern, const char* name)
{
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return wildcardMatch(pattern + 1, name) ||
               (*name != '\0' && wildcardMatch(pattern, name + 1));
    if (*name == '\0')
        return false;
    return (*pattern == '?' || *pattern == *name) && wildcardMatch(pattern + 1, name + 1);
}

std::string trimSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void copyName(char (&name)[260], const std::string& text)
{
    const std::size_t n = std::min<std::size_t>(text.size(), 259);
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
}

} // namespace

MemFs::MemFs(std::string root) : m_root(trimSlash(std::move(root)))
{
    auto node = std::make_shared<Node>();
    node->directory = true;
    node->touch();
    m_nodes[m_root] = node;
}

MemFs::~MemFs() = default;

std::shared_ptr<MemFs::Node> MemFs::find(const std::string& path) const
{
    auto it = m_nodes.find(trimSlash(path));
    return it == m_nodes.end() ? nullptr : it->second;
}

std::shared_ptr<MemFs::Node> MemFs::parentOf(const std::string& path) const
{
    const std::string clean = trimSlash(path);
    const std::string::size_type slash = clean.rfind('/');
    if (slash == std::string::npos)
        return nullptr;
    auto parent = find(clean.substr(0, slash));
    return parent && parent->directory ? parent : nullptr;
}

bool MemFs::hasChildren(const std::string& path) const
{
    const std::string prefix = trimSlash(path) + "/";
    auto it = m_nodes.lower_bound(prefix);
    return it != m_nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

void MemFs::putFile(const std::string& path, const std::string& contents)
{
    auto node = std::make_shared<Node>();
    node->data.assign(contents.begin(), contents.end());
    node->touch();
    m_nodes[trimSlash(path)] = node;
}

void MemFs::putDirectory(const std::string& path)
{
    auto node = std::make_shared<Node>();
    node->directory = true;
    node->touch();
    m_nodes[trimSlash(path)] = node;
}

std::string MemFs::contents(const std::string& path) const
{
    auto node = find(path);
    return node ? std::string(node->data.begin(), node->data.end()) : std::string();
}

bool MemFs::exists(const std::string& path) const
{
    return find(path) != nullptr;
}

void MemFs::setReadOnly(const std::string& path, bool readOnly)
{
    if (auto node = find(path))
        node->readOnly = readOnly;
}

void* MemFs::fopen(const char* path, const char* mode)
{
    if (path == nullptr || mode == nullptr || *mode == '\0')
        return nullptr;
    const bool plus = std::strchr(mode, '+') != nullptr;
    std::shared_ptr<Node> node = find(path);
    if (node && node->directory)
        return nullptr;
    auto stream = std::make_unique<Stream>();
    switch (mode[0]) {
    case 'r':
        if (!node)
            return nullptr;
        stream->canRead = true;
        stream->canWrite = plus;
        break;
    case 'w':
    case 'a':
        if (!node) {
            if (!parentOf(path))
                return nullptr;
            node = std::make_shared<Node>();
            node->touch();
            m_nodes[trimSlash(path)] = node;
        } else if (mode[0] == 'w') {
            node->data.clear();
        }
        stream->canRead = plus;
        stream->canWrite = true;
        stream->append = mode[0] == 'a';
        break;
    default:
        return nullptr;
    }
    if (stream->canWrite && node->readOnly)
        return nullptr;
    stream->node = node;
    ++openStreams;
    return stream.release();
}

int MemFs::fclose(void* file)
{
    delete static_cast<Stream*>(file);
    --openStreams;
    return 0;
}

std::size_t MemFs::fread(void* buf, std::size_t size, std::size_t count, void* file)
{
    Stream* stream = static_cast<Stream*>(file);
    if (!stream->canRead || size == 0)
        return 0;
    const auto& data = stream->node->data;
    const int64 available = static_cast<int64>(data.size()) - stream->position;
    if (available <= 0)
        return 0;
    const std::size_t items =
        std::min<std::size_t>(count, static_cast<std::size_t>(available) / size);
    std::memcpy(buf, data.data() + stream->position, items * size);
    stream->position += static_cast<int64>(items * size);
    return items;
}

std::size_t MemFs::fwrite(const void* buf, std::size_t size, std::size_t count, void* file)
{
    Stream* stream = static_cast<Stream*>(file);
    if (!stream->canWrite)
        return 0;
    auto& data = stream->node->data;
    if (stream->append)
        stream->position = static_cast<int64>(data.size());
    const std::size_t bytes = size * count;
    const std::size_t end = static_cast<std::size_t>(stream->position) + bytes;
    if (data.size() < end)
        data.resize(end, '\0');
    if (bytes != 0)
        std::memcpy(data.data() + stream->position, buf, bytes);
    stream->position = static_cast<int64>(end);
    stream->node->modifyTime = static_cast<int64>(std::time(nullptr));
    return count;
}

int MemFs::fflush(void* /*file*/)
{
    return 0;
}

int MemFs::seekTo(Stream* stream, int64 offset, int whence)
{
    ++seekCalls;
    int64 base = 0;
    switch (whence) {
    case 0:
        base = 0;
        break;
    case 1:
        base = stream->position;
        break;
    case 2:
        base = static_cast<int64>(stream->node->data.size());
        break;
    default:
        return -1;
    }
    if (base + offset < 0)
        return -1;
    stream->position = base + offset;
    return 0;
}

int MemFs::fseek(void* file, long offset, int whence)
{
    return seekTo(static_cast<Stream*>(file), offset, whence);
}

long MemFs::ftell(void* file)
{
    return static_cast<long>(static_cast<Stream*>(file)->position);
}

char* MemFs::fgets(char* buf, int n, void* file)
{
    Stream* stream = static_cast<Stream*>(file);
    if (n <= 0 || !stream->canRead)
        return nullptr;
    const auto& data = stream->node->data;
    if (n == 1) {
        buf[0] = '\0';
        return buf;
    }
    if (stream->position >= static_cast<int64>(data.size()))
        return nullptr;
    int copied = 0;
    while (copied < n - 1 && stream->position < static_cast<int64>(data.size())) {
        const char c = data[static_cast<std::size_t>(stream->position++)];
        buf[copied++] = c;
        if (c == '\n')
            break;
    }
    buf[copied] = '\0';
    return buf;
}

int MemFs::fputs(const char* s, void* file)
{
    const std::size_t length = std::strlen(s);
    return fwrite(s, 1, length, file) == length ? 1 : -1;
}

int MemFs::rename(const char* from, const char* to)
{
    renameCalls.push_back(std::string(from) + "->" + to);
    const std::string source = trimSlash(from);
    const std::string target = trimSlash(to);
    auto node = find(source);
    if (!node || !parentOf(target) || source == m_root)
        return -1;
    // Move the node and, for a directory, everything below it.
    std::vector<std::pair<std::string, std::shared_ptr<Node>>> moved;
    for (auto it = m_nodes.begin(); it != m_nodes.end();) {
        if (it->first == source || it->first.compare(0, source.size() + 1, source + "/") == 0) {
            moved.emplace_back(target + it->first.substr(source.size()), it->second);
            it = m_nodes.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& entry : moved)
        m_nodes[entry.first] = entry.second;
    return 0;
}

int MemFs::remove(const char* path)
{
    auto node = find(path);
    if (!node || trimSlash(path) == m_root || (node->directory && hasChildren(path)))
        return -1;
    m_nodes.erase(trimSlash(path));
    return 0;
}

FileInfo MemFs::entryInfo(const std::string& name, const Node& node) const
{
    FileInfo info = FileInfo();
    copyName(info.name, name);
    info.attrib = static_cast<std::uint16_t>(
        (node.readOnly ? 0x01 : 0) | (name[0] == '.' ? 0x02 : 0) | (node.directory ? 0x10 : 0));
    info.createTime = node.changeTime;
    info.accessTime = node.accessTime;
    info.modifyTime = node.modifyTime;
    info.size = node.data.size();
    return info;
}

long MemFs::findfirst(const char* pattern, FileInfo* out)
{
    if (pattern == nullptr)
        return -1;
    const std::string full(pattern);
    const std::string::size_type slash = full.rfind('/');
    if (slash == std::string::npos)
        return -1; // every path of this file system has a directory part
    const std::string directory = trimSlash(full.substr(0, slash));
    const std::string wildcard = full.substr(slash + 1);
    auto dir = find(directory);
    if (!dir || !dir->directory)
        return -1;
    auto search = std::make_unique<Search>();
    const std::shared_ptr<Node> parent = directory == m_root ? dir : parentOf(directory);
    for (const auto& special :
         {std::make_pair(std::string("."), dir), std::make_pair(std::string(".."), parent)}) {
        if (wildcardMatch(wildcard.c_str(), special.first.c_str()))
            search->entries.push_back(entryInfo(special.first, *special.second));
    }
    const std::string prefix = directory + "/";
    for (auto it = m_nodes.lower_bound(prefix);
         it != m_nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const std::string name = it->first.substr(prefix.size());
        if (name.find('/') != std::string::npos)
            continue; // deeper down
        if (wildcardMatch(wildcard.c_str(), name.c_str()))
            search->entries.push_back(entryInfo(name, *it->second));
    }
    if (search->entries.empty())
        return -1;
    *out = search->entries[0];
    search->next = 1;
    const long handle = m_nextSearch++;
    m_searches[handle] = std::move(search);
    ++openSearches;
    return handle;
}

int MemFs::findnext(long handle, FileInfo* out)
{
    auto it = m_searches.find(handle);
    if (it == m_searches.end() || it->second->next >= it->second->entries.size())
        return -1;
    *out = it->second->entries[it->second->next++];
    return 0;
}

int MemFs::findclose(long handle)
{
    if (m_searches.erase(handle) == 0)
        return -1;
    --openSearches;
    return 0;
}

int MemFs::mkdir(const char* path)
{
    if (find(path) || !parentOf(path))
        return -1;
    putDirectory(path);
    return 0;
}

int MemFs::rmdir(const char* path)
{
    auto node = find(path);
    if (!node || !node->directory || trimSlash(path) == m_root || hasChildren(path))
        return -1;
    m_nodes.erase(trimSlash(path));
    return 0;
}

int MemFs::statfs(const char* path, uint64* freeToCaller, uint64* total, uint64* totalFree)
{
    if (!find(path))
        return -1;
    uint64 used = 0;
    for (const auto& entry : m_nodes)
        used += entry.second->data.size();
    *total = kCapacity;
    *totalFree = kCapacity - used;
    *freeToCaller = kCapacity - used;
    return 0;
}

int MemFs::access(const char* path, int mode)
{
    auto node = find(path);
    if (!node)
        return -1;
    if ((mode & 2) != 0 && node->readOnly)
        return -1;
    return 0;
}

int MemFs::stat(const char* path, FileInfo* out)
{
    auto node = find(path);
    if (failStat || !node)
        return -1;
    copyName(out->name, path);
    out->attrib = static_cast<std::uint16_t>(
        node->directory ? 0x4000 | 0755 : 0x8000 | (node->readOnly ? 0444 : 0644));
    out->createTime = node->changeTime;
    out->accessTime = node->accessTime;
    out->modifyTime = node->modifyTime;
    out->size = node->data.size() + static_cast<uint64>(statSizeExtra);
    return 0;
}

int MemFs::fseek64(void* file, int64 offset, int whence)
{
    return seekTo(static_cast<Stream*>(file), offset, whence);
}

int64 MemFs::ftell64(void* file)
{
    return static_cast<Stream*>(file)->position;
}

HookedMemFs::HookedMemFs(const std::string& root) : m_root(root), m_fs(root)
{
    Orlix::Infra::hookFileSystem(m_root.c_str(), &m_fs);
}

HookedMemFs::~HookedMemFs()
{
    Orlix::Infra::hookFileSystem(m_root.c_str(), nullptr);
}

} // namespace OrlixTest
