#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// A folder on a server as a location text: "sftp://kim@host:2222/srv/data". The part after the server
// is the folder's path in raw bytes, as the rows' names are (not percent-encoded), so a row's location
// is its folder's text, a slash and its name, as for a folder on disk. GIO's virtual file systems reach
// it (RemoteListingSource); nothing here touches the network.
struct RemoteLocation {
    std::string scheme;  // lower case: "sftp", "ftp", "smb", "dav", ...
    std::string user;    // may be empty
    std::string host;    // lower case; an IPv6 address keeps its brackets
    std::string port;    // digits, empty when not given
    std::string path;    // starts with '/', no trailing slash except the root's

    // The schemes that name a remote place (those of GVfs's network back ends).
    static std::vector<std::string> schemes();
    // Adds schemes (any case) to those, from any thread; only the first call counts.
    static void addSchemes(const std::vector<std::string>& more);
    static bool is(std::string_view text);
    // Nothing when the text names no server. "." and ".." are resolved and repeated slashes dropped.
    // typed: the text is an address as people write it, whose path's percent escapes are decoded.
    static std::optional<RemoteLocation> parse(std::string_view text, bool typed = false);

    std::string server() const;  // "sftp://kim@host:2222"
    std::string text() const { return server() + path; }
    // As an address other programs read: the path percent-encoded.
    std::string uri() const;
    std::string root() const { return server() + "/"; }
    bool isRoot() const { return path == "/"; }
    // What the server's root is called: "kim@host" (the user only when given).
    std::string title() const { return user.empty() ? host : user + "@" + host; }
    // The folder holding this one; the root has none.
    std::optional<RemoteLocation> parent() const;
    std::string baseName() const;
};

}  // namespace kv
