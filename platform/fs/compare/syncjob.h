#pragma once

#include <string>
#include <vector>

#include "platform/fs/compare/foldercompare.h"
#include "platform/fs/jobs/filejob.h"
#include "platform/fs/operations/transfer.h"

namespace kv {

// Makes two folders alike as the rows of a comparison say, in one job: first what is to be deleted
// goes to the trash, then the copies are made (each to its place on the other side, the clash of a
// file it replaces asked as any copy asks). One undo takes the copies away and brings back what was
// deleted or replaced.
class SyncJob : public FileJob {
  public:
    struct Plan {
        std::vector<Transfer::Item> copies;
        std::vector<std::string> deletes;
        bool empty() const { return copies.empty() && deletes.empty(); }
    };

    // homeTrash empty: the user's.
    SyncJob(Plan plan, std::string homeTrash = {});

    // What the rows' actions ask for.
    static Plan planOf(const std::vector<CompareRow>& rows, const CompareOptions& options);
};

}  // namespace kv
