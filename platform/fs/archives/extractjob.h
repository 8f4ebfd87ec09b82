#pragma once

#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"

namespace kv {

// What to take out of an archive, and where to.
struct ExtractRequest {
    std::string archive;             // the archive file (raw bytes)
    std::string folder;              // the folder inside the archive the items lie in ("" its top)
    std::vector<std::string> names;  // items of that folder; empty: everything in it
    std::string targetDir;
    std::string passphrase;  // for encrypted entries
    // "Extract Here": more than one item at the top goes into a new folder named after the archive.
    bool ownFolder = false;
};

// Extracts items of an archive into a folder, as a copy would: each file is written under a
// temporary name and renamed once whole (a cancel or a failure leaves no part of it under its name);
// a name that is taken is put to the clash question (folders merge); the free space is checked against
// the total first. Entries that would land outside the target (a ".." part, an absolute path, a
// symbolic link pointing out of it) are refused and reported, never written. A damaged archive gives
// what can be read, then a report. Undo information: Copy, the items made at the top.
class ExtractJob : public FileJob {
  public:
    explicit ExtractJob(ExtractRequest request);

    // The archive's name less its archive extensions ("photos.tar.gz" -> "photos").
    static std::string stemOf(const std::string& archiveName);
};

}  // namespace kv
