#pragma once

#include <string>
#include <utility>

namespace kv {

// What a job was doing with an item when it failed or refused.
enum class JobAction {
    Copy,
    Move,
    Create,        // giving an item its name
    CreateFolder,  //
    WriteInto,     // making a file in a folder
    Write,         // a file's data, also a delayed write error reported when it is closed
    Flush,         // a file's data to disk
    Read,
    ReadFolder,
    RemoveSource,  // a moved item's source, once its copy is complete
    Rename,
    Delete,
    Trash,
    Restore,  // from the trash
    Undo,
    Run,  // the job as a whole
};

// Why, where the errno does not tell it alone.
enum class JobProblem {
    Errno,           // error says it
    IntoItself,      // a folder to itself or below itself; other: the target folder
    Changed,         // the file changed while it was being copied
    Incomplete,      // the copy came out shorter than its source
    Socket,          // cannot be copied at all
    NotFlushed,      // a moved item's source was kept: its copy could not be flushed to disk
    Gone,            // the item no longer exists
    NotEmpty,        // the folder is no longer empty
    NotAbsolute,     // the path is not absolute
    InsideTrash,     // the item is the trash or inside it
    NoTrash,         // the item's volume has no trash
    NotInTrash,      // the item is no longer in the trash
    PlaceTaken,      // another item has taken the item's place
    NoOrigin,        // a trashed item whose original place is not recorded (its .trashinfo is missing)
    InvalidName,     // other: the name that cannot be used
    Refused,         // the job will not do this to the path
    Internal,        // other: what went wrong inside
    AttributesLost,  // copied, but the target could not hold its extended attributes or ACLs
    NotAnswering,    // the job was stopped while a call on this item never returned (a dead mount)
    // Archives. path: the entry; other: why ("absolute", "dotdot", "link:TARGET", "hardlink:TARGET",
    // "type": a device, fifo or socket).
    Unsafe,
    Damaged,        // path: the archive (or the entry being read); other: libarchive's words
    WrongPassword,  // path: the archive
    NoSpace,        // path: the target folder; other: how many bytes are missing (decimal)
};

// One thing that went wrong in a job, for the front end to put into words: the engine says what and
// where, never how to say it. Paths are raw bytes.
struct JobReport {
    JobReport() = default;
    JobReport(JobAction a, std::string p, int e, JobProblem why = JobProblem::Errno, std::string o = {})
        : action(a), path(std::move(p)), error(e), problem(why), other(std::move(o)) {}

    JobAction action = JobAction::Run;
    std::string path;
    int error = 0;  // errno; 0 where the problem is not the system's
    JobProblem problem = JobProblem::Errno;
    std::string other;  // a second path or a name, as the problem says

    bool operator==(const JobReport&) const = default;
};

}  // namespace kv
