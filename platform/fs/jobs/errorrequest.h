#pragma once

#include <string>

#include "platform/fs/jobs/jobreport.h"

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
    JobAction action;      // what the job was doing with the item (copy, move, delete, ...)
    JobReport report;      // the step that failed, which may be a part of it (creating the copy)
    bool canRetry = true;  // false when retrying cannot help
};

}  // namespace kv
