#include "platform/fs/remote/remoteschemes.h"

#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/fs/remote/remotelocation.h"

namespace kv::remoteschemes {

std::vector<std::string> offered() {
    // This computer's places, the web's, and the ones that only browse for servers.
    static constexpr std::array<std::string_view, 17> kNotServers = {
        "file",     "http",      "https",    "trash",     "recent",        "burn",
        "computer", "network",   "archive",  "localtest", "admin",         "cdda",
        "dns-sd",   "smb-share", "resource", "wsdd",      "x-network-view"};
    std::vector<std::string> out;
    const gchar* const* schemes = g_vfs_get_supported_uri_schemes(g_vfs_get_default());
    for (const gchar* const* s = schemes; s && *s; ++s) {
        const std::string_view scheme(*s);
        if (std::find(kNotServers.begin(), kNotServers.end(), scheme) == kNotServers.end())
            out.emplace_back(scheme);
    }
    return out;
}

void adopt() {
    RemoteLocation::addSchemes(offered());
}

}  // namespace kv::remoteschemes
