#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kv::remotemounts {

// A server folder mounted now (by this program or any other of the session), as GIO's volume monitor
// lists it.
struct Mounted {
    std::string name;  // what the mount calls itself: "kim on host"
    std::string uri;   // its root: "sftp://kim@host/"
    bool operator==(const Mounted&) const = default;
};

// Asks GIO's thread for the mounts whose roots are on servers (RemoteLocation's schemes); done runs
// there with them.
void list(std::function<void(std::vector<Mounted>)> done);

// Unmounts the mount whose root is uri (asynchronously, on GIO's thread); done runs there with an
// empty text when it went, else with why it did not.
void unmount(const std::string& uri, std::function<void(std::string error)> done);

}  // namespace kv::remotemounts
