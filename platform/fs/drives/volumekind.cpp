#include "platform/fs/drives/volumekind.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/fs/drives/mounts.h"

namespace kv {

namespace {

bool isUnderMount(std::string_view path, std::string_view prefix) {
    return path.size() > prefix.size() && path.substr(0, prefix.size()) == prefix &&
           path[prefix.size()] == '/';
}

std::string unescapeMountField(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// The kernel's flag for the disk a device node belongs to; a partition's is its disk's.
bool removableDevice(const std::string& source, const std::string& sysBlock) {
    if (source.rfind("/dev/", 0) != 0) return false;
    char buf[PATH_MAX];
    const std::string dev = realpath(source.c_str(), buf) ? std::string(buf) : source;
    const std::string name = dev.substr(dev.find_last_of('/') + 1);
    for (const char* rel : {"/removable", "/../removable"}) {
        std::ifstream in(sysBlock + "/" + name + rel);
        char c = 0;
        if (in >> c) return c == '1';
    }
    return false;
}

}  // namespace

bool VolumeKind::isRemoteType(std::string_view t) {
    for (const char* r : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs",
                          "lustre", "davfs", "fuse.sshfs", "fuse.davfs2", "fuse.rclone", "fuse.s3fs",
                          "fuse.gvfsd-fuse", "fuse.curlftpfs"})
        if (t == r) return true;
    return false;
}

VolumeKind VolumeKind::of(std::string_view path, std::string_view mountInfo, const std::string& sysBlock) {
    const std::string point = Mounts::mountPointOf(path, mountInfo);
    // The last entry for that mount point is the one on top.
    std::string type, source;
    std::istringstream lines{std::string(mountInfo)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, fsRoot, mp, options, tok;
        if (!(fields >> id >> parent >> devno >> fsRoot >> mp >> options)) continue;
        if (unescapeMountField(mp) != point) continue;
        while (fields >> tok && tok != "-") {
        }
        std::string t, s;
        if (tok == "-" && fields >> t >> s) {
            type = t;
            source = unescapeMountField(s);
        }
    }
    VolumeKind k;
    k.remote = isRemoteType(type) || source.rfind("//", 0) == 0;
    // Desktops mount what the user plugs in under these.
    k.removable = isUnderMount(point, "/media") || isUnderMount(point, "/run/media") ||
                  removableDevice(source, sysBlock);
    return k;
}

}  // namespace kv
