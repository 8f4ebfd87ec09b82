#include <gtest/gtest.h>

#include <cerrno>

#include "platform/qt/jobs/jobtexts.h"

namespace kv {
namespace {

// What the user reads for each report: the sentences the file jobs used to write themselves.
TEST(JobTexts, ReportsBecomeTheSentencesUsersRead) {
    struct Row {
        JobReport report;
        const char* sentence;
    } rows[] = {
        {{JobAction::Copy, "/a/f", ENOSPC}, "Cannot copy “/a/f”: No space left on device"},
        {{JobAction::Move, "/a/f", EACCES}, "Cannot move “/a/f”: Permission denied"},
        {{JobAction::Create, "/b/f", EROFS}, "Cannot create “/b/f”: Read-only file system"},
        {{JobAction::CreateFolder, "/b/d", EACCES}, "Cannot create the folder “/b/d”: Permission denied"},
        {{JobAction::WriteInto, "/b", EACCES}, "Cannot write into “/b”: Permission denied"},
        {{JobAction::Write, "/b/f", EIO}, "Cannot write “/b/f”: Input/output error"},
        {{JobAction::Flush, "/b/f", EIO}, "Cannot write “/b/f” to disk: Input/output error"},
        {{JobAction::Read, "/a/f", EIO}, "Cannot read “/a/f”: Input/output error"},
        {{JobAction::ReadFolder, "/a", EACCES}, "Cannot read the folder “/a”: Permission denied"},
        {{JobAction::RemoveSource, "/a/f", EBUSY},
         "Copied “/a/f” but could not remove it: Device or resource busy"},
        {{JobAction::Rename, "/a/f", EACCES}, "Cannot rename “/a/f”: Permission denied"},
        {{JobAction::Delete, "/a/f", EPERM}, "Cannot delete “/a/f”: Operation not permitted"},
        {{JobAction::Trash, "/a/f", EACCES}, "Cannot move “/a/f” to the trash: Permission denied"},
        {{JobAction::Restore, "/a/f", EACCES}, "Cannot restore “/a/f”: Permission denied"},
        {{JobAction::Undo, "/a/d", EBUSY}, "Cannot undo: “/a/d”: Device or resource busy"},
        {{JobAction::Copy, "/a", 0, JobProblem::IntoItself, "/a/b"},
         "Cannot copy the folder “a” into itself: the target folder “/a/b” is inside it."},
        {{JobAction::Move, "/x/a", 0, JobProblem::IntoItself, "/x/a"},
         "Cannot move the folder “a” into itself: the target folder “/x/a” is inside it."},
        {{JobAction::Copy, "/a/f", 0, JobProblem::Changed},
         "The file “/a/f” changed while it was being copied."},
        {{JobAction::Copy, "/a/f", EIO, JobProblem::Incomplete}, "The copy of “/a/f” is incomplete."},
        {{JobAction::Copy, "/a/s", 0, JobProblem::Socket}, "Cannot copy “/a/s”: a socket cannot be copied."},
        {{JobAction::RemoveSource, "/a/f", 0, JobProblem::NotFlushed},
         "Kept “/a/f”: its copy could not be flushed to disk."},
        {{JobAction::Undo, "/b/f", ENOENT, JobProblem::Gone}, "Cannot undo: “/b/f” no longer exists."},
        {{JobAction::Undo, "/b/d", ENOTEMPTY, JobProblem::NotEmpty},
         "Cannot undo: the folder “/b/d” is no longer empty."},
        {{JobAction::Trash, "f", EINVAL, JobProblem::NotAbsolute},
         "Cannot move “f” to the trash: not an absolute path."},
        {{JobAction::Trash, "/t", EPERM, JobProblem::InsideTrash},
         "Cannot move “/t” to the trash: it is the trash or inside it."},
        {{JobAction::Trash, "/m/f", EXDEV, JobProblem::NoTrash},
         "Cannot move “/m/f” to the trash: its volume has no trash."},
        {{JobAction::Restore, "/a/f", ENOENT, JobProblem::NotInTrash},
         "Cannot restore “/a/f”: it is no longer in the trash."},
        {{JobAction::Restore, "/a/f", EEXIST, JobProblem::PlaceTaken},
         "Cannot restore “/a/f”: another item has taken its place."},
        {{JobAction::Rename, "/a/f", EINVAL, JobProblem::InvalidName, "a/b"},
         "“a/b” cannot be used as a name."},
        {{JobAction::Delete, "/", 0, JobProblem::Refused}, "Refused to delete “/”."},
        {{JobAction::Copy, "/a/f", EIO, JobProblem::Internal, "bad_alloc"}, "Cannot copy “/a/f”: bad_alloc"},
        {{JobAction::Run, "", 0, JobProblem::Internal, "oops"}, "Internal error: oops"},
        // A path is text, never a pattern.
        {{JobAction::Copy, "/a/100%2 %1", EIO}, "Cannot copy “/a/100%2 %1”: Input/output error"},
        {{JobAction::Read, "/caf\xC3\xA9", EIO}, "Cannot read “/café”: Input/output error"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(JobTexts::sentence(row.report).toStdString(), row.sentence);
    }
}

TEST(JobTexts, ErrorTitleNamesWhatTheJobWasDoing) {
    struct Row {
        JobAction action;
        const char* title;
    } rows[] = {{JobAction::Copy, "Could not copy"},           {JobAction::Move, "Could not move"},
                {JobAction::CreateFolder, "Could not create"}, {JobAction::Read, "Could not read"},
                {JobAction::Rename, "Could not rename"},       {JobAction::Delete, "Could not delete"},
                {JobAction::Trash, "Could not trash"}};
    for (const Row& row : rows) {
        ErrorRequest request{"/a/f", row.action, {JobAction::Create, "/b/f", EIO}, true};
        EXPECT_EQ(JobTexts::errorTitle(request).toStdString(), row.title);
    }
}

}  // namespace
}  // namespace kv
