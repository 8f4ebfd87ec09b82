#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"
#include "platform/fs/operations/transfer.h"

namespace kv {

// Copies or moves items into a folder (paste, drop). The rules it keeps are Transfer's. Undo
// information: Copy lists the created items, Move the (from, to) pairs.
class TransferJob : public FileJob {
  public:
    // replacedTrash: where what a Replace answer replaces is put aside (see
    // TransferTargets::keepReplacedIn); none: replaced outright.
    TransferJob(TransferMode mode, std::vector<std::string> sources, std::string targetDir,
                std::optional<std::string> replacedTrash = std::nullopt);
    // Each item to its own full target path (what undoing a move needs).
    TransferJob(TransferMode mode, std::vector<Transfer::Item> items,
                std::optional<std::string> replacedTrash = std::nullopt);
};

}  // namespace kv
