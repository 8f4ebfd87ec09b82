#pragma once

#include <cstddef>
#include <vector>

#include "platform/fs/jobs/jobreport.h"
#include "platform/fs/jobs/undoinfo.h"

namespace kv {

// How a job ended.
struct JobResult {
    bool cancelled = false;
    int skipped = 0;                 // items left out after a Skip answer or a refusal
    std::vector<JobReport> reports;  // one per item that failed or was refused
    // Which reports (indexes, ascending) the user has seen already, in the question that asked what to do
    // about them: those need no second telling.
    std::vector<std::size_t> answered;
    UndoInfo undo;
    bool ok() const { return !cancelled && reports.empty(); }
};

}  // namespace kv
