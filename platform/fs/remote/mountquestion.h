#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kv {

// What mounting a server asks of the person: a password (with the user name and domain when the server
// wants them), or a choice such as whether to trust a host key that was never seen before.
struct MountQuestion {
    enum class Kind { Password, Choice };
    Kind kind = Kind::Password;
    std::string location;  // the place being opened
    std::string message;   // the server back end's question

    // Password: what to ask for, and the defaults to offer.
    std::string user;
    std::string domain;
    bool askUser = false;
    bool askDomain = false;
    bool askPassword = false;
    bool anonymousAllowed = false;
    bool canRemember = false;
    bool retry = false;  // the password given last was not accepted

    // Choice: the answers, in the back end's order.
    std::vector<std::string> choices;
};

struct MountAnswer {
    enum class Remember { Never, ForSession, Always };
    bool cancelled = true;
    std::string user;
    std::string domain;
    std::string password;
    bool anonymous = false;
    Remember remember = Remember::Never;
    int choice = 0;
};

// The answer to one question; any thread, once (later calls are ignored).
using MountReply = std::function<void(const MountAnswer& answer)>;
// Asks a question, on GIO's thread (giothread): whoever asks shows it elsewhere and replies when the
// person answers, without waiting here. A source with no asker cancels every mount that asks.
using MountAsker = std::function<void(const MountQuestion& question, MountReply reply)>;

}  // namespace kv
