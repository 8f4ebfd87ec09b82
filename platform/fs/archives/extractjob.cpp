#include "platform/fs/archives/extractjob.h"

#include "platform/fs/archives/extractsafety.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <set>
#include <unordered_map>

#include "platform/fs/archives/archiveindex.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/archives/archivereader.h"
#include "platform/fs/core/partialfile.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"
#include "platform/fs/operations/filecopier.h"

namespace kv {

namespace {

std::string firstPart(const std::string& rel) {
    return rel.substr(0, rel.find('/'));
}

std::uint64_t freeBytes(const std::string& dir) {
    struct statvfs st {};
    if (::statvfs(dir.c_str(), &st) != 0) return UINT64_MAX;  // unknown: the writes will tell
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

// What libarchive's writer refused: the system's errno, or its own words when it refused by itself
// (a path through a link, say).
JobReport diskFailure(JobAction action, const std::string& path, struct archive* disk) {
    const int e = archive_errno(disk);
    if (e > 0) return {action, path, e};
    const char* text = archive_error_string(disk);
    return {action, path, 0, JobProblem::Internal, text ? text : "refused"};
}

struct WriterFree {
    void operator()(struct archive* a) const { archive_write_free(a); }
};

// One extraction: the plan from the index (which entries, under which names), then one pass over
// the archive writing them.
class Extraction {
  public:
    Extraction(JobContext& ctx, const ExtractRequest& r) : m_ctx(ctx), m_r(r), m_names(ctx.ops()) {}

    void run() {
        m_ctx.undo().kind = UndoInfo::Kind::Extract;
        if (!prepareTarget()) return;
        m_index = ArchiveIndex::read(m_r.archive);
        if (m_index->error() != 0) {
            m_ctx.noteSkipped(readFailure(m_index->error()));
            return;
        }
        if (!plan() || !checkSpace() || !placeTops()) return;
        write();
    }

  private:
    struct Top {
        std::string name;  // the name it gets in the output folder; empty: skipped
        bool replace = false;
    };

    JobReport readFailure(int error) const {
        if (error == EILSEQ) return {JobAction::Read, m_r.archive, 0, JobProblem::Damaged, "not an archive"};
        return {JobAction::Read, m_r.archive, error};
    }

    bool prepareTarget() {
        // Resolved once: libarchive's check for links along a path would take any link above the
        // target (a home folder reached through one) for an attack.
        std::string real;
        if (const int e = m_ctx.ops().realPath(m_r.targetDir, real); e != 0) {
            m_ctx.noteSkipped({JobAction::WriteInto, m_r.targetDir, -e});
            return false;
        }
        m_target = real;
        return true;
    }

    // The path of an entry relative to the extraction's top; empty when it is not extracted.
    std::string relOf(const std::string& path) const {
        std::string rel = path;
        if (!m_r.folder.empty()) {
            if (!path.starts_with(m_r.folder + "/")) return {};
            rel = path.substr(m_r.folder.size() + 1);
        }
        if (!m_chosen.empty() && !m_chosen.count(firstPart(rel))) return {};
        return rel;
    }

    // The entry holding the data of a hard link: links to links lead to the first name of the file.
    std::string fileOf(std::string path) const {
        for (int hops = 0; hops < 64; ++hops) {
            const ArchiveIndex::Item* item = m_index->find(path);
            if (!item || item->isSymlink || item->linkTarget.empty()) break;
            path = item->linkTarget;
        }
        return path;
    }

    bool plan() {
        m_chosen.insert(m_r.names.begin(), m_r.names.end());
        std::set<std::string> seen;
        for (const ArchiveIndex::Item& item : m_index->items()) {
            const std::string rel = relOf(item.path);
            if (rel.empty()) continue;
            m_bytes += item.isDir ? 0 : item.size;
            ++m_count;
            const std::string top = firstPart(rel);
            if (seen.insert(top).second) m_topOrder.push_back(top);
            if (!item.isSymlink && !item.linkTarget.empty()) {
                const std::string file = fileOf(item.linkTarget);
                if (relOf(file).empty()) m_dataFor.emplace(file, item.path);
            }
        }
        m_ctx.setTotals(m_bytes, m_count);
        return true;
    }

    bool checkSpace() {
        for (;;) {
            const std::uint64_t available = freeBytes(m_target);
            if (available >= m_bytes) return true;
            const ErrorRequest q{m_target,
                                 JobAction::Copy,
                                 {JobAction::WriteInto, m_target, ENOSPC, JobProblem::NoSpace,
                                  std::to_string(m_bytes - available)},
                                 true};
            if (m_ctx.askError(q) == ErrorChoice::Skip) return false;
        }
    }

    // Where the items go, and under which names: asked once per item at the top before anything is
    // written, so that every question comes first.
    bool placeTops() {
        m_out = m_target;
        if (m_r.ownFolder && m_topOrder.size() > 1) {
            std::string stem = ExtractJob::stemOf(paths::baseName(m_r.archive));
            if (stem.empty()) stem = "archive";
            auto taken = [&](const std::string& n) { return m_names.taken(m_target, n); };
            const std::string name = taken(stem) ? paths::freeName(stem, true, taken) : stem;
            const std::string dir = paths::join(m_target, name);
            if (const int e = m_ctx.ops().mkdir(dir, 0777); e != 0) {
                m_ctx.noteSkipped({JobAction::CreateFolder, dir, -e});
                return false;
            }
            m_ctx.undo().created.push_back(dir);
            m_names.noteEmptyFolder(dir);
            m_out = dir;
            m_ownFolderMade = true;
        }
        for (const std::string& top : m_topOrder) {
            Top& t = m_tops[top];
            t.name = top;
            const std::string* clash = m_ownFolderMade ? nullptr : m_names.find(m_out, top);
            if (!clash) {
                if (!m_ownFolderMade) m_ctx.undo().created.push_back(paths::join(m_out, top));
                continue;
            }
            const std::string existing = paths::join(m_out, *clash);
            const std::string inner = m_r.folder.empty() ? top : m_r.folder + "/" + top;
            const ArchiveIndex::Item* item = m_index->find(inner);
            ClashRequest q = clashWith(item, m_r.archive + "/" + inner, existing);
            auto taken = [&](const std::string& n) { return m_names.taken(m_out, n); };
            q.suggestedName = paths::freeName(top, q.sourceIsDir, taken);
            const ClashDecision d = m_ctx.askClash(q);
            if (d.choice == ClashChoice::KeepBoth) {
                t.name = q.suggestedName;
                m_names.noteCreated(paths::join(m_out, t.name));
                m_ctx.undo().created.push_back(paths::join(m_out, t.name));
            } else if (d.choice == ClashChoice::Replace && q.canReplace) {
                t.replace = true;
                t.name = *clash;  // a folder merges into the one there, whatever its letter case
            } else {
                t.name.clear();
                m_ctx.noteSkipped();
            }
        }
        return true;
    }

    ClashRequest clashWith(const ArchiveIndex::Item* item, const std::string& source,
                           const std::string& target) {
        struct stat t {};
        m_ctx.ops().lstat(target, t);
        ClashRequest q;
        q.source = source;
        q.target = target;
        q.sourceIsDir = item && item->isDir;
        q.targetIsDir = S_ISDIR(t.st_mode);
        q.sourceSize = item ? item->size : 0;
        q.targetSize = static_cast<std::uint64_t>(t.st_size);
        q.sourceMtimeNs = item ? item->mtimeNs : 0;
        q.targetMtimeNs = t.st_mtim.tv_sec * 1000000000LL + t.st_mtim.tv_nsec;
        q.canReplace = q.sourceIsDir == q.targetIsDir;
        return q;
    }

    // The path an entry is written to; empty when its item at the top was skipped.
    std::string outPathOf(const std::string& rel) const {
        const std::size_t slash = rel.find('/');
        const auto it = m_tops.find(rel.substr(0, slash));
        if (it == m_tops.end() || it->second.name.empty()) return {};
        std::string out = paths::join(m_out, it->second.name);
        if (slash != std::string::npos) out += rel.substr(slash);
        return out;
    }

    void refuse(const std::string& entry, const std::string& why) {
        m_ctx.noteSkipped({JobAction::Copy, entry, 0, JobProblem::Unsafe, why});
    }

    void write() {
        ArchiveReader reader;
        if (const int e = reader.open(m_r.archive, m_r.passphrase); e != 0) {
            m_ctx.noteSkipped(readFailure(e));
            return;
        }
        std::unique_ptr<struct archive, WriterFree> disk(archive_write_disk_new());
        archive_write_disk_set_options(
            disk.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                            ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_NO_OVERWRITE);
        archive_entry* entry = nullptr;
        while (reader.next(entry)) {
            m_ctx.checkpoint();
            const std::string raw(ArchiveReader::pathOf(entry));
            bool unsafe = false;
            const std::string path = ArchiveIndex::normalise(raw, unsafe);
            if (unsafe) {
                // Listed nowhere, chosen by no one: reported when the whole archive is extracted.
                if (m_r.folder.empty() && m_chosen.empty())
                    refuse(raw, raw.starts_with('/') ? "absolute" : "dotdot");
                continue;
            }
            std::string rel = path.empty() ? std::string() : relOf(path);
            std::string out = rel.empty() ? std::string() : outPathOf(rel);
            if (out.empty()) {
                // A file not chosen whose chosen hard link comes later: written under the link's name.
                const auto link = m_dataFor.find(path);
                if (link == m_dataFor.end()) continue;
                rel = relOf(link->second);
                out = outPathOf(rel);
                if (out.empty()) continue;
                m_linksWritten.insert(link->second);
            } else if (m_linksWritten.count(path)) {
                m_ctx.addItems(1);  // written already, with its file's data
                continue;
            }
            m_ctx.setCurrent(out);
            if (!writeEntry(reader, disk.get(), entry, path, rel, out)) {
                if (m_stopped) break;
            }
            m_ctx.addItems(1);
        }
        if (reader.failed() && !m_stopped) {
            if (reader.passphraseProblem())
                m_ctx.noteSkipped({JobAction::Read, m_r.archive, 0, JobProblem::WrongPassword});
            else
                m_ctx.noteSkipped({JobAction::Read, m_r.archive, 0, JobProblem::Damaged, reader.errorText()});
        }
        // Folders get their times and modes now, after everything inside them was written.
        if (archive_write_close(disk.get()) != ARCHIVE_OK)
            m_ctx.noteSkipped({JobAction::Write, m_out, archive_errno(disk.get())});
    }

    // path: the entry's path in the archive (for hard links to it); rel and out: where it goes.
    bool writeEntry(ArchiveReader& reader, struct archive* disk, archive_entry* entry,
                    const std::string& path, const std::string& rel, const std::string& out) {
        FsOps& ops = m_ctx.ops();
        // A hard link (tar) has no type of its own: it is one more name of a file extracted before it.
        const char* hard = archive_entry_hardlink(entry);
        const mode_t type = hard ? AE_IFREG : archive_entry_filetype(entry);
        // Modes as the user would get them making the files: no setuid, setgid or sticky bit, and the
        // user's umask applied (an archive made by someone else must not leave a setuid program or a
        // file anyone may write). Owners are never taken from the archive.
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777 & ~m_umask);
        if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink(entry);
            if (!target || !ExtractSafety::linkStaysInside(rel, target) ||
                !ExtractSafety::linkLeadsInside(ops, m_out, out, target)) {
                refuse(rel, std::string("link:") + (target ? target : ""));
                return false;
            }
        } else if (type != AE_IFDIR && type != AE_IFREG) {
            refuse(rel, "type");  // devices, fifos and sockets have no business in a user's folder
            return false;
        }
        if (type == AE_IFDIR) {
            if (out.size() >= PATH_MAX) {
                // Made through the system's back door (one folder at a time), it could not be named again.
                m_ctx.noteSkipped({JobAction::CreateFolder, out, ENAMETOOLONG});
                return false;
            }
            struct stat st {};
            if (ops.lstat(out, st) == 0 && !S_ISDIR(st.st_mode)) {
                m_ctx.noteSkipped({JobAction::CreateFolder, out, EEXIST});
                return false;
            }
            archive_entry_set_pathname(entry, out.c_str());
            archive_entry_set_perm(entry, archive_entry_perm(entry) | 0700);  // it must take its contents
            if (archive_write_header(disk, entry) < ARCHIVE_WARN) {
                m_ctx.noteSkipped(diskFailure(JobAction::CreateFolder, out, disk));
                return false;
            }
            archive_write_finish_entry(disk);
            m_made[path] = out;
            return true;
        }
        std::string final = out;
        bool replace = isTop(rel) && m_tops[rel].replace;
        if (!isTop(rel)) {
            // Inside a folder merged with one already there.
            struct stat st {};
            if (ops.lstat(final, st) == 0) {
                ArchiveIndex::Item shown;
                shown.size = static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)));
                shown.mtimeNs = archive_entry_mtime(entry) * 1000000000LL;
                ClashRequest q = clashWith(&shown, m_r.archive + "/" + rel, final);
                const std::string dir = paths::parentOf(final);
                auto taken = [&](const std::string& n) { return m_names.taken(dir, n); };
                q.suggestedName = paths::freeName(paths::baseName(final), false, taken);
                const ClashDecision d = m_ctx.askClash(q);
                if (d.choice == ClashChoice::KeepBoth) {
                    final = paths::join(dir, q.suggestedName);
                } else if (d.choice == ClashChoice::Replace && q.canReplace) {
                    replace = true;
                } else {
                    m_ctx.noteSkipped();
                    return false;
                }
            }
        }
        if (hard) {
            bool unsafe = false;
            const std::string linked = ArchiveIndex::normalise(hard, unsafe);
            auto it = unsafe ? m_made.end() : m_made.find(linked);
            if (it == m_made.end() && !unsafe) it = m_made.find(fileOf(linked));
            if (it == m_made.end()) {
                refuse(rel, std::string("hardlink:") + hard);
                return false;
            }
            archive_entry_set_hardlink(entry, it->second.c_str());
        }
        const std::string tmp = FileCopier::tempNameIn(paths::parentOf(final));
        if (std::max(final.size(), tmp.size()) >= PATH_MAX) {
            // The file could be written (libarchive reaches long paths a folder at a time), but neither
            // placed under its name nor removed again: it is not begun.
            m_ctx.noteSkipped({JobAction::Create, final, ENAMETOOLONG});
            return false;
        }
        PartialFile partial(ops);
        partial.setTemporaryName(tmp);
        archive_entry_set_pathname(entry, tmp.c_str());
        if (archive_write_header(disk, entry) < ARCHIVE_WARN) {
            m_ctx.noteSkipped(diskFailure(JobAction::Create, final, disk));
            return false;
        }
        if (type == AE_IFREG && !hard && !copyData(reader, disk, final)) return false;
        if (archive_write_finish_entry(disk) < ARCHIVE_WARN) {
            m_ctx.noteSkipped(diskFailure(JobAction::Write, final, disk));
            return false;
        }
        if (const int e = ops.rename(tmp, final, !replace); e != 0) {
            m_ctx.noteSkipped({JobAction::Create, final, -e});
            return false;
        }
        partial.placed();
        m_names.noteCreated(final);
        m_made[path] = final;
        return true;
    }

    bool copyData(ArchiveReader& reader, struct archive* disk, const std::string& final) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        std::uint64_t written = 0;
        for (;;) {
            const int r = archive_read_data_block(reader.handle(), &block, &size, &offset);
            if (r == ARCHIVE_EOF) return true;
            if (r == ARCHIVE_WARN) {
                // The entry's data is not what its header promised (a bad checksum, a wrong size): it gets
                // no file under its name, and the reading goes on with the next entry.
                m_ctx.addBytes(-static_cast<std::int64_t>(written));
                m_ctx.noteSkipped({JobAction::Read, final, 0, JobProblem::Damaged, reader.errorText()});
                return false;
            }
            if (r < ARCHIVE_WARN) {
                // The rest of the archive cannot be trusted either: the reading ends here.
                m_stopped = true;
                m_ctx.addBytes(-static_cast<std::int64_t>(written));
                if (reader.passphraseProblem())
                    m_ctx.noteSkipped({JobAction::Read, m_r.archive, 0, JobProblem::WrongPassword});
                else
                    m_ctx.noteSkipped({JobAction::Read, final, 0, JobProblem::Damaged, reader.errorText()});
                return false;
            }
            if (archive_write_data_block(disk, block, size, offset) < ARCHIVE_WARN) {
                m_ctx.addBytes(-static_cast<std::int64_t>(written));
                const int e = archive_errno(disk);
                m_ctx.noteSkipped({JobAction::Write, final, e > 0 ? e : EIO});
                if (e == ENOSPC) m_stopped = true;
                return false;
            }
            written += size;
            m_ctx.addBytes(static_cast<std::int64_t>(size));
            m_ctx.checkpoint();
        }
    }

    static bool isTop(const std::string& rel) { return rel.find('/') == std::string::npos; }

    JobContext& m_ctx;
    const ExtractRequest& m_r;
    NameClashes m_names;
    std::shared_ptr<const ArchiveIndex> m_index;
    std::string m_target;  // the target folder, resolved
    std::string m_out;     // where the items at the top go: the target, or the folder made for them
    bool m_ownFolderMade = false;
    std::set<std::string> m_chosen;
    std::vector<std::string> m_topOrder;
    std::unordered_map<std::string, Top> m_tops;
    // Entries by their path in the archive -> where they were written (for hard links to them).
    std::unordered_map<std::string, std::string> m_made;
    // A chosen hard link whose file is not chosen gets that file's data: the file's path -> the link's.
    std::unordered_map<std::string, std::string> m_dataFor;
    std::set<std::string> m_linksWritten;  // links written with their file's data
    std::uint64_t m_bytes = 0;
    std::uint64_t m_count = 0;
    bool m_stopped = false;
    const mode_t m_umask = ExtractSafety::currentUmask();
};

}  // namespace

ExtractJob::ExtractJob(ExtractRequest request)
    : FileJob([r = std::move(request)](JobContext& ctx) { Extraction(ctx, r).run(); }) {}

std::string ExtractJob::stemOf(const std::string& archiveName) {
    return archiveName.substr(0, archiveName.size() - ArchiveLocation::archiveEnding(archiveName));
}

}  // namespace kv
