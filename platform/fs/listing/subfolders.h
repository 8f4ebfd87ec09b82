#pragma once

#include <QByteArray>
#include <vector>

namespace kv {

// The folders directly inside a folder, for menus and completion that need names and nothing else.
class SubFolders {
  public:
    struct Result {
        std::vector<QByteArray> names;  // raw bytes, in the order a folder view sorts them
        int error = 0;                  // errno when the folder could not be read
    };
    // Links to folders count as folders; names starting with '.' only when hidden is true. Touches
    // the disk and may block on a dead mount: call it on a detached thread.
    static Result list(const QByteArray& folder, bool hidden = false);
};

}  // namespace kv
