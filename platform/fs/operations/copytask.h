#pragma once

#include <sys/stat.h>
#include <memory>
#include <string>

#include "platform/fs/operations/filecopier.h"
#include "platform/fs/operations/transfertarget.h"

namespace kv {

// One small file for the copy workers, and how their try at it ended.
struct CopyTask {
    std::string src;
    TransferTarget dest;
    struct stat st {};
    std::shared_ptr<bool> all;  // the folder's flag, cleared when this file fails
    FileCopier::Attempt attempt;
};

}  // namespace kv
