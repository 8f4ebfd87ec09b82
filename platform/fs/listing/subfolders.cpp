#include "platform/fs/listing/subfolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/fs/listing/sortkey.h"

namespace kv {

SubFolders::Result SubFolders::list(const QByteArray& folder, bool hidden) {
    Result r;
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        r.error = errno;
        return r;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        r.error = errno;
        ::close(fd);
        return r;
    }
    std::vector<std::pair<std::string, QByteArray>> found;
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (!hidden || name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            isDir = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir) found.emplace_back(SortKey::make(name), QByteArray(name));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    r.names.reserve(found.size());
    for (auto& f : found) r.names.push_back(std::move(f.second));
    return r;
}

}  // namespace kv
