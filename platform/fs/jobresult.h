#pragma once

#include <vector>

#include "platform/fs/jobreport.h"
#include "platform/fs/undoinfo.h"

namespace kv {

// How a job ended.
struct JobResult {
    bool cancelled = false;
    int skipped = 0;                 // items left out after a Skip answer or a refusal
    std::vector<JobReport> reports;  // one per item that failed or was refused
    UndoInfo undo;
    bool ok() const { return !cancelled && reports.empty(); }
};

}  // namespace kv
