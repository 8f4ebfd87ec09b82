#pragma once

#include <sys/stat.h>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/fs/jobs/jobreport.h"

namespace kv {

class JobContext;
class PartialFile;

// Copies one file to its target name, or leaves nothing behind. Used by the job thread and, for small
// files, by the copy workers at once: it never asks and never records, it only says how the try ended.
// How the copy comes to exist depends on the file (see chooseWay): under its own name, unnamed until
// whole, or under a temporary name that an atomic rename turns into the target's.
class FileCopier {
  public:
    // How one try ended. Whatever did not end Placed has left nothing on the target and taken its
    // bytes back from the progress.
    struct Attempt {
        enum class Outcome { Placed, Taken, Failed, Cancelled };
        Outcome outcome = Outcome::Failed;
        JobReport report;  // what failed, when Failed
    };

    // flush: each copy reaches the disk before it takes its name (a move deletes the source after).
    FileCopier(JobContext& ctx, bool flush);

    // replace: the user agreed to replace what has the name path.
    Attempt copy(const std::string& src, const std::string& path, bool replace, const struct stat& st,
                 std::unique_ptr<char[]>& buffer);
    // A symlink or device node made anew under tmp, with the source's owner and times.
    int copySpecial(const std::string& src, const std::string& tmp, const struct stat& st);

    static std::string tempNameIn(const std::string& dir);

  private:
    enum class Way { OwnName, Unnamed, TemporaryName };
    struct Try;

    Way chooseWay(bool replace, const struct stat& st) const;
    int createOwnName(Try& t, mode_t mode);
    int createUnnamed(Try& t, mode_t mode);
    int createTemporary(Try& t, mode_t mode);
    std::optional<Attempt> fill(Try& t, std::unique_ptr<char[]>& buffer, struct stat& written);
    Attempt placeNamed(Try& t);
    Attempt placeUnnamed(Try& t, const struct stat& written);
    Attempt placeTemporary(Try& t, bool replace);
    int copyData(int in, int out, const struct stat& st, std::uint64_t& copied,
                 std::unique_ptr<char[]>& buffer);
    int copySparse(int in, int out, const struct stat& st, std::uint64_t& copied,
                   std::unique_ptr<char[]>& buffer);

    JobContext& m_ctx;
    bool m_flush;
    bool m_isRoot;
    // What the filesystems turned out to lack; shared by the workers.
    std::atomic<bool> m_tryClone{true};
    std::atomic<bool> m_tryCopyRange{true};
    std::atomic<bool> m_tryUnnamed{true};
};

}  // namespace kv
