#pragma once

#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"
#include "platform/fs/jobs/undoinfo.h"
#include "platform/fs/operations/transfer.h"

namespace kv {

// The file jobs for items on servers, run through GIO's virtual file systems. Every path given is
// either an absolute local path or a server location's text (RemoteLocation: "sftp://kim@host/srv/a b",
// the path part in raw bytes), so one job copies between a local folder and a server, or between two
// servers. They keep the promises of the local jobs: nothing half-written under its final name (a file
// is written under a hidden temporary name beside its target and renamed when whole), nothing replaced
// without an answer, a folder never into itself, a server that stops answering ends the job with an
// error within about 10 s rather than holding it.

// True when any of the paths is on a server: the jobs below are the ones for them.
bool anyOnServer(const std::vector<std::string>& paths);

// Copies or moves items into a folder. Undo information as TransferJob's.
class RemoteTransferJob : public FileJob {
  public:
    RemoteTransferJob(TransferMode mode, std::vector<std::string> sources, std::string targetDir);
    // Each item to its own full target path (what undoing a move needs).
    RemoteTransferJob(TransferMode mode, std::vector<Transfer::Item> items);
};

// To the server's trash where its back end has one, else (or with trash false) deleted for good,
// folders with their contents. An item the back end cannot trash is reported with
// JobProblem::NoTrash and left as it is, so the caller can ask before deleting it for good.
class RemoteDeleteJob : public FileJob {
  public:
    RemoteDeleteJob(std::vector<std::string> paths, bool trash);
};

// Gives an item a new name in its folder; never replaces an item that has that name (EEXIST).
class RemoteRenameJob : public FileJob {
  public:
    RemoteRenameJob(std::string path, std::string newName);
};

// Makes a folder; where the name is taken, under the next free one ("New Folder (2)").
class RemoteNewFolderJob : public FileJob {
  public:
    RemoteNewFolderJob(std::string dir, std::string name);
};

// Undoes what a remote job recorded (a copy: its items deleted; a move or rename: moved back; a new
// folder: removed when still empty).
class RemoteUndoJob : public FileJob {
  public:
    explicit RemoteUndoJob(UndoInfo info);
};

}  // namespace kv
