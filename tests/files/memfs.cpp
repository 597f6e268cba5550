#include "files/memfs.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace OrlixTest {

struct MemFs::Node
{
    bool directory = false;
    bool readOnly = false;
    std::string data;
    int64 time = static_cast<int64>(std::time(nullptr));
};

struct MemFs::Stream
{
    std::shared_ptr<Node> node;
    int64 position = 0;
    bool canRead = false, canWrite = false, append = false;
};

namespace {

// '*' and '?' only: enough for the tests, and independent of the platform's matcher.
bool wildcardMatch(const char* pattern, const char* name)
{
    if (*pattern == '*')
        return wildcardMatch(pattern + 1, name) || (*name != '\0' && wildcardMatch(pattern, name + 1));
    if (*pattern == '\0' || *name == '\0')
        return *pattern == *name;
    return (*pattern == '?' || *pattern == *name) && wildcardMatch(pattern + 1, name + 1);
}

void copyName(char (&name)[260], const std::string& text)
{
    const std::size_t n = std::min<std::size_t>(text.size(), 259);
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
}

std::string parentPath(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

MemFs::MemFs(std::string root) : m_root(std::move(root))
{
    put(m_root, "", true);
    Orlix::Infra::hookFileSystem(m_root.c_str(), this);
}

MemFs::~MemFs()
{
    Orlix::Infra::hookFileSystem(m_root.c_str(), nullptr);
}

void MemFs::put(const std::string& path, const std::string& contents, bool directory)
{
    auto node = std::make_shared<Node>();
    node->directory = directory;
    node->data = contents;
    m_nodes[path] = node;
}

std::string MemFs::contents(const std::string& path) const
{
    return exists(path) ? m_nodes.at(path)->data : std::string();
}

void MemFs::setReadOnly(const std::string& path, bool readOnly)
{
    m_nodes.at(path)->readOnly = readOnly;
}

bool MemFs::hasParent(const std::string& path) const
{
    auto it = m_nodes.find(parentPath(path));
    return it != m_nodes.end() && it->second->directory;
}

bool MemFs::hasChildren(const std::string& path) const
{
    auto it = m_nodes.lower_bound(path + "/");
    return it != m_nodes.end() && it->first.compare(0, path.size() + 1, path + "/") == 0;
}

void* MemFs::fopen(const char* path, const char* mode)
{
    auto it = m_nodes.find(path);
    std::shared_ptr<Node> node = it == m_nodes.end() ? nullptr : it->second;
    const bool plus = std::strchr(mode, '+') != nullptr;
    auto stream = std::make_unique<Stream>();
    stream->canRead = mode[0] == 'r' || plus;
    stream->canWrite = mode[0] != 'r' || plus;
    stream->append = mode[0] == 'a';
    if ((node && node->directory) || (node && node->readOnly && stream->canWrite))
        return nullptr;
    if (!node) {
        if (mode[0] == 'r' || !hasParent(path))
            return nullptr;
        put(path, "");
        node = m_nodes[path];
    } else if (mode[0] == 'w') {
        node->data.clear();
    }
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
    const int64 available = static_cast<int64>(stream->node->data.size()) - stream->position;
    if (!stream->canRead || size == 0 || available <= 0)
        return 0;
    const std::size_t items = std::min(count, static_cast<std::size_t>(available) / size);
    std::memcpy(buf, stream->node->data.data() + stream->position, items * size);
    stream->position += static_cast<int64>(items * size);
    return items;
}

std::size_t MemFs::fwrite(const void* buf, std::size_t size, std::size_t count, void* file)
{
    Stream* stream = static_cast<Stream*>(file);
    if (!stream->canWrite)
        return 0;
    std::string& data = stream->node->data;
    if (stream->append)
        stream->position = static_cast<int64>(data.size());
    const std::size_t at = static_cast<std::size_t>(stream->position);
    if (data.size() < at)
        data.resize(at, '\0');
    data.replace(at, std::min(size * count, data.size() - at), static_cast<const char*>(buf),
                 size * count);
    stream->position += static_cast<int64>(size * count);
    return count;
}

int MemFs::seek(void* file, int64 offset, int whence)
{
    Stream* stream = static_cast<Stream*>(file);
    ++seekCalls;
    const int64 base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? stream->position
                                            : static_cast<int64>(stream->node->data.size());
    if (base + offset < 0)
        return -1;
    stream->position = base + offset;
    return 0;
}

int64 MemFs::ftell64(void* file)
{
    return static_cast<Stream*>(file)->position;
}

char* MemFs::fgets(char* buf, int n, void* file)
{
    Stream* stream = static_cast<Stream*>(file);
    const std::string& data = stream->node->data;
    if (n <= 0 || !stream->canRead || stream->position >= static_cast<int64>(data.size()))
        return nullptr;
    int copied = 0;
    while (copied < n - 1 && stream->position < static_cast<int64>(data.size())) {
        buf[copied] = data[static_cast<std::size_t>(stream->position++)];
        if (buf[copied++] == '\n')
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

// Moves one entry (the tests rename files only).
int MemFs::rename(const char* from, const char* to)
{
    lastRename = std::string(from) + "->" + to;
    if (!exists(from) || !hasParent(to))
        return -1;
    m_nodes[to] = m_nodes[from];
    m_nodes.erase(from);
    return 0;
}

int MemFs::remove(const char* path)
{
    if (!exists(path) || path == m_root || hasChildren(path))
        return -1;
    m_nodes.erase(path);
    return 0;
}

long MemFs::findfirst(const char* pattern, FileInfo* out)
{
    const std::string directory = parentPath(pattern);
    const std::string wildcard = std::string(pattern).substr(directory.size() + 1);
    auto dir = m_nodes.find(directory);
    if (dir == m_nodes.end() || !dir->second->directory)
        return -1;
    std::vector<FileInfo> entries;
    auto add = [&](const std::string& name, const Node& node) {
        if (!wildcardMatch(wildcard.c_str(), name.c_str()))
            return;
        FileInfo info = FileInfo();
        copyName(info.name, name);
        info.attrib = static_cast<std::uint16_t>((node.readOnly ? 0x01 : 0) |
                                                 (name[0] == '.' ? 0x02 : 0) |
                                                 (node.directory ? 0x10 : 0));
        info.createTime = info.accessTime = info.modifyTime = node.time;
        info.size = node.data.size();
        entries.push_back(info);
    };
    add(".", *dir->second);
    add("..", directory == m_root ? *dir->second : *m_nodes.at(parentPath(directory)));
    for (auto it = m_nodes.upper_bound(directory + "/"); it != m_nodes.end(); ++it) {
        if (parentPath(it->first) == directory)
            add(it->first.substr(directory.size() + 1), *it->second);
        else if (it->first.compare(0, directory.size() + 1, directory + "/") != 0)
            break;
    }
    if (entries.empty())
        return -1;
    *out = entries[0];
    m_searches[m_nextSearch] = {entries, 1};
    ++openSearches;
    return m_nextSearch++;
}

int MemFs::findnext(long handle, FileInfo* out)
{
    auto it = m_searches.find(handle);
    if (it == m_searches.end() || it->second.second >= it->second.first.size())
        return -1;
    *out = it->second.first[it->second.second++];
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
    if (exists(path) || !hasParent(path))
        return -1;
    put(path, "", true);
    return 0;
}

int MemFs::rmdir(const char* path)
{
    if (!exists(path) || !m_nodes.at(path)->directory || path == m_root || hasChildren(path))
        return -1;
    m_nodes.erase(path);
    return 0;
}

int MemFs::statfs(const char* path, uint64* freeToCaller, uint64* total, uint64* totalFree)
{
    if (!exists(path))
        return -1;
    *total = 1ull << 30;
    *totalFree = *freeToCaller = *total / 2;
    return 0;
}

int MemFs::stat(const char* path, FileInfo* out)
{
    if (failStat || !exists(path))
        return -1;
    const Node& node = *m_nodes.at(path);
    copyName(out->name, path);
    out->attrib = static_cast<std::uint16_t>(node.directory ? 0x4000 | 0755 : 0x8000 | 0644);
    out->createTime = out->accessTime = out->modifyTime = node.time;
    out->size = node.data.size() + static_cast<uint64>(statSizeExtra);
    return 0;
}

} // namespace OrlixTest
