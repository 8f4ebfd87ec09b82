#include "platform/fs/operations/transfertargets.h"

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/trash/trash.h"

namespace kv {

TransferTargets::TransferTargets(JobContext& ctx, bool move) : m_ctx(ctx), m_move(move), m_names(ctx.ops()) {}

void TransferTargets::noteCreated(const std::string& path, bool isDir) {
    m_names.noteCreated(path);
    if (isDir) {
        m_names.noteEmptyFolder(path);  // no listing needed later
        m_createdDirs.insert(path);
    }
}

void TransferTargets::noteRemoved(const std::string& path) {
    m_names.noteRemoved(path);
}

bool TransferTargets::resolve(const std::string& src, const struct stat& st, TransferTarget& dest,
                              bool firstLook) {
    FsOps& ops = m_ctx.ops();
    for (;;) {
        const std::string dir = paths::parentOf(dest.path);
        const std::string name = paths::baseName(dest.path);
        struct stat tst {};
        std::string existing;
        // In a folder this job made, what is there is known: the names it placed. Anything another
        // program adds meanwhile still cannot be replaced: an item takes its name only where the name
        // is free, and when it is not, the question comes back here with firstLook false.
        const bool ours = firstLook && madeByJob(dir);
        if (!ours && ops.lstat(dest.path, tst) == 0) {
            existing = dest.path;
        } else if (const std::string* other = m_names.find(dir, name)) {
            existing = paths::join(dir, *other);
            if (ops.lstat(existing, tst) != 0) {
                noteRemoved(existing);  // gone since the folder was read
                continue;
            }
        } else {
            return true;
        }
        auto taken = [&](const std::string& n) {
            struct stat s {};
            return ops.lstat(paths::join(dir, n), s) == 0 || m_names.taken(dir, n);
        };
        if (tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
            if (existing == src && existing != dest.path) {
                return true;  // only the source itself differs in case: a case change, no clash
            }
            if (m_move && paths::parentOf(existing) == paths::parentOf(src)) {
                // A filesystem that ignores case found the source under the new spelling: renaming
                // over it changes the case and replaces nothing else.
                dest.replace = true;
                return true;
            }
            if (m_move) {
                return false;  // already where it should go: nothing to do, nothing to lose
            }
            // A copy onto itself can only mean a second copy beside it.
            dest.path = paths::join(dir, paths::freeName(name, S_ISDIR(st.st_mode), taken));
            continue;
        }
        ClashRequest req = ClashRequest::between(src, st, existing, tst);
        req.caseOnly = existing != dest.path;
        req.canReplace = req.sourceIsDir == req.targetIsDir;
        req.suggestedName = paths::freeName(name, req.sourceIsDir, taken);
        const ClashDecision d = m_ctx.askClash(req);
        switch (d.choice) {
            case ClashChoice::Skip:
            case ClashChoice::Cancel:
                m_ctx.noteSkipped();
                return false;
            case ClashChoice::KeepBoth:
                dest.path = paths::join(dir, req.suggestedName);
                dest.replace = false;
                continue;
            case ClashChoice::Replace:
                if (req.merge()) {
                    dest.path = existing;
                    dest.merge = true;
                } else if (putAside(existing)) {
                    continue;  // the name is free now
                } else {
                    dest.replace = true;
                    dest.existing = req.caseOnly ? existing : std::string();
                    if (m_replacedTrash) m_ctx.undo().unrestorable.push_back(existing);
                }
                return true;
        }
    }
}

bool TransferTargets::putAside(const std::string& existing) {
    if (!m_replacedTrash) return false;
    // Trashing is a rename: the old item stays whole, in the trash, until the new one has its name
    // (and stays there when the new one fails to come: nothing replaced is lost).
    Trash trash(m_ctx.ops(), *m_replacedTrash);
    TrashedItem item;
    JobReport report;
    if (trash.trash(existing, item, report) != 0) return false;
    noteRemoved(existing);
    m_ctx.undo().replaced.push_back(std::move(item));
    return true;
}

void TransferTargets::putAsideReplaced(TransferTarget& dest) {
    if (!dest.replace || dest.merge) return;
    const std::string existing = dest.existing.empty() ? dest.path : dest.existing;
    struct stat st {};
    if (m_ctx.ops().lstat(existing, st) != 0) return;  // gone meanwhile: nothing to keep
    if (putAside(existing)) {
        dest.replace = false;
        dest.existing.clear();
    } else if (m_replacedTrash) {
        m_ctx.undo().unrestorable.push_back(existing);
    }
}

void TransferTargets::removeReplaced(const TransferTarget& dest) {
    if (dest.existing.empty()) {
        return;
    }
    // On a filesystem that ignores case both names reach the item just placed: removing the "other"
    // one would remove the new item itself.
    struct stat placed {
    }, old{};
    FsOps& ops = m_ctx.ops();
    if (ops.lstat(dest.path, placed) != 0 || ops.lstat(dest.existing, old) != 0 ||
        (placed.st_dev == old.st_dev && placed.st_ino == old.st_ino)) {
        return;
    }
    if (S_ISDIR(old.st_mode)) {
        ops.rmdir(dest.existing);
    } else {
        ops.unlink(dest.existing);
    }
    noteRemoved(dest.existing);
}

}  // namespace kv
