#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/fs/jobs/filejob.h"

namespace kv {

class DownloadFeed;

// Where a download goes and what it records about where it came from.
struct DownloadTarget {
    std::string folder;
    std::string name;     // its name there: made safe (DownloadName::safe) by the job
    std::string partial;  // where the engine writes it meanwhile (a path in folder); see partialIn()
    // Where the engine keeps it before it gives it the partial name, if elsewhere: an engine that
    // fails keeps it there (to resume), and it goes with the partial file.
    std::string engineFile;
    std::string originUrl;
    std::string referrerUrl;
    std::int64_t size = -1;  // as announced; -1 unknown
    bool replace = false;    // the user has agreed to replace what has the name (a save dialog asked)
    // Where what a Replace replaces is put aside, as a copy's is (see TransferTargets::keepReplacedIn);
    // none: replaced outright.
    std::optional<std::string> replacedTrash;
};

// Saves one thing from the web into a folder as a job of its own: its progress, pause and cancel are
// those of the download; it is written under a partial name that nobody else uses and takes its real
// name only once complete; a taken name asks as a copy's does (Replace, Keep Both, Skip); the file
// records its origin and referrer as extended attributes (user.xdg.origin.url and
// user.xdg.referrer.url) where the filesystem holds them; undoing it moves it to the trash and brings
// back what it replaced. Every
// way out before it has its name removes the partial file and stops the engine.
class DownloadJob : public FileJob {
  public:
    // The engine writes target.partial and reports through feed.
    DownloadJob(DownloadTarget target, std::shared_ptr<DownloadFeed> feed);
    // The bytes are here already (a dropped text, a link file, a data: address): the job writes them.
    DownloadJob(DownloadTarget target, std::string bytes);

    // A path in folder for a partial file, of the kind copies use.
    static std::string partialIn(const std::string& folder);
};

}  // namespace kv
