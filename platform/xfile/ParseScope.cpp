#include <sys/stat.h>

#include <map>
#include <mutex>

#include "xfile/XFile.h"

namespace xfile {

namespace {

struct FileIdentity {
    dev_t device;
    ino_t inode;
    off_t size;
    int64_t seconds, nanoseconds;  // last modification
    bool operator==(const FileIdentity&) const = default;
};

struct Entry {
    FileIdentity identity;
    std::shared_ptr<const Document> document;
};

struct Cache {
    std::mutex mutex;
    int scopes = 0;
    std::map<std::string, Entry> entries;
};

Cache& cache() {
    static Cache instance;
    return instance;
}

bool identify(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    identity = {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    return true;
}

}  // namespace

ParseScope::ParseScope() {
    std::lock_guard lock(cache().mutex);
    ++cache().scopes;
}

ParseScope::~ParseScope() {
    std::lock_guard lock(cache().mutex);
    if (--cache().scopes == 0) cache().entries.clear();
}

std::shared_ptr<const Document> loadShared(const std::string& path, Document (*read)(const std::string&)) {
    Cache& c = cache();
    FileIdentity identity{};
    const bool known = identify(path, identity);
    {
        std::lock_guard lock(c.mutex);
        auto found = c.entries.find(path);
        if (c.scopes > 0 && known && found != c.entries.end() && found->second.identity == identity)
            return found->second.document;
    }
    auto document = std::make_shared<const Document>(read(path));  // raises for a missing or bad file
    std::lock_guard lock(c.mutex);
    if (c.scopes > 0 && known) c.entries[path] = Entry{identity, document};
    return document;
}

}  // namespace xfile
