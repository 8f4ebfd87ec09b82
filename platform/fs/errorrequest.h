#pragma once

#include <string>

namespace kv {

enum class ErrorChoice { Retry, Skip, Cancel };

struct ErrorDecision {
    ErrorChoice choice = ErrorChoice::Skip;
    bool applyToAll = false;  // skip every later error of this job without asking (Retry never repeats)
};

// An operation on one item failed. The item is untouched or back as it was: answering Skip loses
// nothing; Retry runs the operation again from its start.
struct ErrorRequest {
    std::string path;      // the item (raw bytes)
    std::string action;    // "copy", "move", "delete", ...
    std::string message;   // a full sentence for the prompt
    int error = 0;         // errno, 0 for a refusal of the job's own (a folder into itself)
    bool canRetry = true;  // false when retrying cannot help
};

}  // namespace kv
