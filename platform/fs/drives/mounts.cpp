#include "platform/fs/drives/mounts.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>
#include <array>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace kv {

namespace {

constexpr std::array kHiddenTypes = {
    "proc",        "sysfs",       "cgroup",        "cgroup2",         "devpts",
    "devtmpfs",    "securityfs",  "debugfs",       "tracefs",         "mqueue",
    "bpf",         "pstore",      "configfs",      "fusectl",         "hugetlbfs",
    "autofs",      "binfmt_misc", "efivarfs",      "rpc_pipefs",      "nsfs",
    "selinuxfs",   "nfsd",        "ramfs",         "rootfs",          "fuse.gvfsd-fuse",
    "fuse.portal", "fuse.lxcfs",  "fuse.snapfuse", "overlay_internal"};

// Mount points under these belong to the system or a container runtime, not to the user.
constexpr std::array kHiddenPrefixes = {
    "/proc",          "/sys",  "/dev", "/run", "/snap", "/var/snap", "/var/lib/docker", "/var/lib/containers",
    "/var/lib/snapd", "/boot", "/etc"};
// ... except these, which users do open.
constexpr std::array kShownPrefixes = {"/dev/shm", "/run/media"};

bool under(std::string_view path, std::string_view prefix) {
    return path == prefix || (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
                              path[prefix.size()] == '/');
}

// Mount-table fields escape space, tab, newline and backslash as \ooo.
std::string unescapeOctal(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
            s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// udev names label links with \xHH escapes ("My\x20Disk").
std::string unescapeHex(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            out.push_back(static_cast<char>(std::stoi(std::string(s.substr(i + 2, 2)), nullptr, 16)));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string resolved(const std::string& path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf)) {
        return buf;
    }
    return path;
}

bool isHidden(const std::string& type, const std::string& point, const std::string& source) {
    for (const char* t : kHiddenTypes) {
        if (type == t) {
            return true;
        }
    }
    if (type == "squashfs" && under(point, "/snap")) {
        return true;
    }
    // A container's root is an overlay and stays; overlays anywhere else are image layers.
    if (type == "overlay" && point != "/") {
        return true;
    }
    (void)source;
    for (const char* p : kShownPrefixes) {
        if (under(point, p)) {
            return false;
        }
    }
    for (const char* p : kHiddenPrefixes) {
        if (under(point, p)) {
            return true;
        }
    }
    return false;
}

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Mounts::Mounts(std::string homeDir, std::string mountInfoPath, std::string byLabelDir)
    : m_home(std::move(homeDir)),
      m_mountInfoPath(std::move(mountInfoPath)),
      m_byLabelDir(std::move(byLabelDir)) {
    if (m_home.empty()) {
        if (const char* h = std::getenv("HOME"); h && *h) {
            m_home = h;
        } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
            m_home = pw->pw_dir;
        } else {
            m_home = "/";
        }
    }
    while (m_home.size() > 1 && m_home.back() == '/') {
        m_home.pop_back();
    }
}

std::string Mounts::readMountInfo() const {
    std::ifstream in(m_mountInfoPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Mounts::mountPointOf(std::string_view path, std::string_view mountInfo) {
    std::string best = "/";
    std::istringstream lines{std::string(mountInfo)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, fsRoot, point;
        if (!(fields >> id >> parent >> devno >> fsRoot >> point)) {
            continue;
        }
        point = unescapeOctal(point);
        const bool holds = path.substr(0, point.size()) == point &&
                           (path.size() == point.size() || point == "/" || path[point.size()] == '/');
        if (holds && point.size() > best.size()) {
            best = point;
        }
    }
    return best;
}

std::vector<MountEntry> Mounts::entries() const {
    std::ifstream in(m_mountInfoPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return entriesFrom(ss.str());
}

std::vector<MountEntry> Mounts::entriesFrom(std::string_view mountInfo) const {
    std::map<std::string, std::string> labelByDevice;
    if (DIR* d = opendir(m_byLabelDir.c_str())) {
        while (dirent* de = readdir(d)) {
            if (de->d_name[0] == '.') {
                continue;
            }
            labelByDevice[resolved(m_byLabelDir + "/" + de->d_name)] = unescapeHex(de->d_name);
        }
        closedir(d);
    }

    std::vector<MountEntry> result;
    MountEntry home;
    home.root = m_home;
    home.label = "Home";
    home.fsType = "home";
    home.isHome = true;
    result.push_back(home);

    std::vector<MountEntry> volumes;
    std::istringstream lines{std::string(mountInfo)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, fsRoot, point, options, tok;
        if (!(fields >> id >> parent >> devno >> fsRoot >> point >> options)) {
            continue;
        }
        while (fields >> tok && tok != "-") {
        }
        std::string type, source;
        if (tok != "-" || !(fields >> type >> source)) {
            continue;
        }
        point = unescapeOctal(point);
        source = unescapeOctal(source);
        // Remove what this mount point covered: the later mount is the one a path reaches.
        std::erase_if(volumes, [&](const MountEntry& m) { return m.root == point; });
        if (isHidden(type, point, source)) {
            continue;
        }
        MountEntry e;
        e.root = point;
        e.fsType = type;
        e.source = source;
        if (!source.empty() && source[0] == '/') {
            // Only a device node is resolved (/dev/mapper/x is a link to /dev/dm-0): a FUSE volume's
            // source may name a file on another volume (the image it shows), and following that path
            // would wait for that volume, for ever if it hangs.
            auto it = labelByDevice.find(source);
            if (it == labelByDevice.end() && under(source, "/dev")) it = labelByDevice.find(resolved(source));
            if (it != labelByDevice.end()) {
                e.label = it->second;
            }
        }
        if (e.label.empty()) {
            e.label = lastComponent(point);
        }
        if (e.label.empty()) {
            e.label = type;
        }
        volumes.push_back(std::move(e));
    }
    result.insert(result.end(), volumes.begin(), volumes.end());
    return result;
}

std::string Mounts::rootOf(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.back() != ']') {
        return std::string(text);
    }
    int depth = 0;
    for (size_t i = text.size(); i-- > 0;) {
        if (text[i] == ']') {
            ++depth;
        } else if (text[i] == '[' && --depth == 0) {
            if (i > 0 && text[i - 1] == ' ') {
                std::string_view root = text.substr(0, i - 1);
                return std::string(root.empty() ? text : root);
            }
            break;
        }
    }
    return std::string(text);
}

}  // namespace kv
