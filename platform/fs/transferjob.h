#pragma once

#include <string>
#include <vector>

#include "platform/fs/filejob.h"
#include "platform/fs/transfer.h"

namespace kv {

// Copies or moves items into a folder (paste, drop). The rules it keeps are Transfer's. Undo
// information: Copy lists the created items, Move the (from, to) pairs.
class TransferJob : public FileJob {
  public:
    TransferJob(TransferMode mode, std::vector<std::string> sources, std::string targetDir);
    // Each item to its own full target path (what undoing a move needs).
    TransferJob(TransferMode mode, std::vector<Transfer::Item> items);
};

}  // namespace kv
