#include "platform/fs/remote/remotelocation.h"

#include <QByteArray>
#include <algorithm>
#include <atomic>
#include <cctype>

namespace kv {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// "/a//b/./c/../d/" -> "/a/b/d"; never above the root.
std::string cleanPath(std::string_view raw) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at <= raw.size()) {
        size_t next = raw.find('/', at);
        if (next == std::string_view::npos) next = raw.size();
        const std::string_view part = raw.substr(at, next - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = next + 1;
    }
    std::string out;
    for (std::string_view p : parts) out.append("/").append(p);
    return out.empty() ? "/" : out;
}

}  // namespace

namespace {

const std::vector<std::string> kBuiltIn = {"sftp", "ssh", "ftp",  "ftps", "ftpis",
                                           "smb",  "dav", "davs", "afp",  "nfs"};
// Those the desktop adds, published once (by a thread of its own at start) and read by any thread.
std::atomic<const std::vector<std::string>*> added{nullptr};

bool among(const std::vector<std::string>* list, const std::string& scheme) {
    return list && std::find(list->begin(), list->end(), scheme) != list->end();
}

}  // namespace

std::vector<std::string> RemoteLocation::schemes() {
    std::vector<std::string> all = kBuiltIn;
    if (const std::vector<std::string>* more = added.load(std::memory_order_acquire))
        all.insert(all.end(), more->begin(), more->end());
    return all;
}

void RemoteLocation::addSchemes(const std::vector<std::string>& more) {
    auto* list = new std::vector<std::string>;  // kept for the run: readers may hold it at any time
    for (const std::string& s : more) {
        const std::string scheme = lower(s);
        if (!scheme.empty() && !among(&kBuiltIn, scheme) && !among(list, scheme)) list->push_back(scheme);
    }
    const std::vector<std::string>* expected = nullptr;
    if (!added.compare_exchange_strong(expected, list, std::memory_order_acq_rel)) delete list;  // once only
}

bool RemoteLocation::is(std::string_view text) {
    const size_t colon = text.find("://");
    if (colon == std::string_view::npos) return false;
    const std::string scheme = lower(text.substr(0, colon));
    return among(&kBuiltIn, scheme) || among(added.load(std::memory_order_acquire), scheme);
}

std::optional<RemoteLocation> RemoteLocation::parse(std::string_view text, bool typed) {
    if (!is(text)) return std::nullopt;
    const size_t colon = text.find("://");
    RemoteLocation where;
    where.scheme = lower(text.substr(0, colon));
    const std::string_view rest = text.substr(colon + 3);
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    // A user name may hold an '@' (kim@example.org@host): the host follows the last one.
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const QByteArray user =
            QByteArray::fromPercentEncoding(QByteArray(authority.data(), static_cast<qsizetype>(at)));
        where.user = user.toStdString();
        // A password in the address is not kept: the mount asks for it, and can keep it safely.
        if (const size_t pass = where.user.find(':'); pass != std::string::npos) where.user.resize(pass);
        authority.remove_prefix(at + 1);
    }
    const size_t close = authority.rfind(']');
    const size_t portColon = authority.rfind(':');
    if (portColon != std::string_view::npos && (close == std::string_view::npos || portColon > close)) {
        where.port = std::string(authority.substr(portColon + 1));
        authority = authority.substr(0, portColon);
        if (!std::all_of(where.port.begin(), where.port.end(),
                         [](unsigned char c) { return std::isdigit(c); }))
            return std::nullopt;
    }
    where.host = lower(authority);
    if (where.host.empty()) return std::nullopt;
    QByteArray decoded(path.data(), static_cast<qsizetype>(path.size()));
    if (typed) decoded = QByteArray::fromPercentEncoding(decoded);
    where.path = cleanPath(std::string_view(decoded.constData(), static_cast<size_t>(decoded.size())));
    return where;
}

std::string RemoteLocation::server() const {
    std::string out = scheme + "://";
    if (!user.empty()) {
        // The user goes back into an address: '@', ':' and '/' in it are escaped.
        out += QByteArray::fromStdString(user).toPercentEncoding("", "@:/").toStdString() + "@";
    }
    out += host;
    if (!port.empty()) out += ":" + port;
    return out;
}

std::string RemoteLocation::uri() const {
    return server() + QByteArray::fromStdString(path).toPercentEncoding("/").toStdString();
}

std::optional<RemoteLocation> RemoteLocation::parent() const {
    if (isRoot()) return std::nullopt;
    RemoteLocation up = *this;
    const size_t slash = path.rfind('/');
    up.path = slash == 0 ? "/" : path.substr(0, slash);
    return up;
}

std::string RemoteLocation::baseName() const {
    return isRoot() ? std::string() : path.substr(path.rfind('/') + 1);
}

}  // namespace kv
