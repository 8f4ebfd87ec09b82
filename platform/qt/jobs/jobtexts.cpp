#include "platform/qt/jobs/jobtexts.h"

#include <cstdlib>
#include <cstring>

#include "platform/fs/core/paths.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/common/sizetext.h"

namespace kv {

namespace {

QString raw(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The lower-case verb of an action, as the error dialog's title uses it.
QString verb(JobAction action) {
    switch (action) {
        case JobAction::Copy:
            return JobTexts::tr("copy");
        case JobAction::Move:
            return JobTexts::tr("move");
        case JobAction::Create:
        case JobAction::CreateFolder:
            return JobTexts::tr("create");
        case JobAction::WriteInto:
        case JobAction::Write:
        case JobAction::Flush:
            return JobTexts::tr("write");
        case JobAction::Read:
        case JobAction::ReadFolder:
            return JobTexts::tr("read");
        case JobAction::RemoveSource:
            return JobTexts::tr("remove");
        case JobAction::Rename:
            return JobTexts::tr("rename");
        case JobAction::Delete:
            return JobTexts::tr("delete");
        case JobAction::Trash:
            return JobTexts::tr("trash");
        case JobAction::Restore:
            return JobTexts::tr("restore");
        case JobAction::Undo:
            return JobTexts::tr("undo");
        case JobAction::Run:
            break;
    }
    return JobTexts::tr("run");
}

// "Cannot copy “%1”: %2" and its kind, for a failure the system explains (%2).
QString failed(JobAction action) {
    switch (action) {
        case JobAction::Copy:
            return JobTexts::tr("Cannot copy “%1”: %2");
        case JobAction::Move:
            return JobTexts::tr("Cannot move “%1”: %2");
        case JobAction::Create:
            return JobTexts::tr("Cannot create “%1”: %2");
        case JobAction::CreateFolder:
            return JobTexts::tr("Cannot create the folder “%1”: %2");
        case JobAction::WriteInto:
            return JobTexts::tr("Cannot write into “%1”: %2");
        case JobAction::Write:
            return JobTexts::tr("Cannot write “%1”: %2");
        case JobAction::Flush:
            return JobTexts::tr("Cannot write “%1” to disk: %2");
        case JobAction::Read:
            return JobTexts::tr("Cannot read “%1”: %2");
        case JobAction::ReadFolder:
            return JobTexts::tr("Cannot read the folder “%1”: %2");
        case JobAction::RemoveSource:
            return JobTexts::tr("Copied “%1” but could not remove it: %2");
        case JobAction::Rename:
            return JobTexts::tr("Cannot rename “%1”: %2");
        case JobAction::Delete:
            return JobTexts::tr("Cannot delete “%1”: %2");
        case JobAction::Trash:
            return JobTexts::tr("Cannot move “%1” to the trash: %2");
        case JobAction::Restore:
            return JobTexts::tr("Cannot restore “%1”: %2");
        case JobAction::Undo:
            return JobTexts::tr("Cannot undo: “%1”: %2");
        case JobAction::Run:
            break;
    }
    return JobTexts::tr("Cannot run “%1”: %2");
}

// Why an archive's entry was not written, in words.
QString unsafeEntry(const QString& entry, const std::string& why) {
    if (why == "absolute")
        return JobTexts::tr("Refused “%1”: its absolute path would put it outside the target folder.")
            .arg(entry);
    if (why == "dotdot")
        return JobTexts::tr("Refused “%1”: its “..” would put it outside the target folder.").arg(entry);
    if (why.starts_with("link:"))
        return JobTexts::tr("Refused the link “%1”: it points outside the target folder (to “%2”).")
            .arg(entry, raw(why.substr(5)));
    if (why.starts_with("hardlink:"))
        return JobTexts::tr("Refused the link “%1”: what it links to (“%2”) is not extracted with it.")
            .arg(entry, raw(why.substr(9)));
    return JobTexts::tr("Refused “%1”: devices, pipes and sockets are not extracted.").arg(entry);
}

using pathtext::nameOf;

}  // namespace

QString JobTexts::folderName(const std::string& path) {
    const auto slash = path.rfind('/');
    return NameText::shown(slash == 0 ? "/" : path.substr(0, slash == std::string::npos ? 0 : slash));
}

QString JobTexts::systemError(int error) {
    const char* text = strerrordesc_np(error);
    return text ? QString::fromUtf8(text) : tr("Error %1").arg(error);
}

QString JobTexts::sentence(const JobReport& r) {
    const QString path = raw(r.path);
    switch (r.problem) {
        case JobProblem::Errno:
        case JobProblem::Internal: {
            const QString why = r.problem == JobProblem::Errno ? systemError(r.error) : raw(r.other);
            if (r.action == JobAction::Run) return tr("Internal error: %1").arg(why);
            // Both at once: a path may itself hold "%2".
            return failed(r.action).arg(path, why);
        }
        case JobProblem::IntoItself:
            return (r.action == JobAction::Move
                        ? tr("Cannot move the folder “%1” into itself: the target folder “%2” is inside it.")
                        : tr("Cannot copy the folder “%1” into itself: the target folder “%2” is inside it."))
                .arg(raw(paths::baseName(r.path)), raw(r.other));
        case JobProblem::Changed:
            return tr("The file “%1” changed while it was being copied.").arg(path);
        case JobProblem::Incomplete:
            return tr("The copy of “%1” is incomplete.").arg(path);
        case JobProblem::AttributesLost:
            return tr("“%1” was copied without some of its extended attributes or access rules: the target "
                      "cannot hold them. Other items may have lost theirs too.")
                .arg(path);
        case JobProblem::Socket:
            return tr("Cannot copy “%1”: a socket cannot be copied.").arg(path);
        case JobProblem::NotFlushed:
            return tr("Kept “%1”: its copy could not be flushed to disk.").arg(path);
        case JobProblem::Gone:
            return tr("Cannot undo: “%1” no longer exists.").arg(path);
        case JobProblem::NotEmpty:
            return tr("Cannot undo: the folder “%1” is no longer empty.").arg(path);
        case JobProblem::NotAbsolute:
            return tr("Cannot move “%1” to the trash: not an absolute path.").arg(path);
        case JobProblem::InsideTrash:
            return tr("Cannot move “%1” to the trash: it is the trash or inside it.").arg(path);
        case JobProblem::NoTrash:
            return tr("Cannot move “%1” to the trash: its volume has no trash.").arg(path);
        case JobProblem::NotInTrash:
            return tr("Cannot restore “%1”: it is no longer in the trash.").arg(path);
        case JobProblem::PlaceTaken:
            return tr("Cannot restore “%1”: another item has taken its place.").arg(path);
        case JobProblem::NoOrigin:
            return tr("Cannot restore “%1”: where it came from is not known.").arg(path);
        case JobProblem::InvalidName:
            return tr("“%1” cannot be used as a name.").arg(raw(r.other));
        case JobProblem::Refused:
            return tr("Refused to delete “%1”.").arg(path);
        case JobProblem::NotAnswering:
            if (r.path.empty()) return tr("Stopped while a volume did not answer: the rest was not done.");
            return tr("Stopped while “%1” did not answer: its volume may be gone. What was being done to "
                      "it may be incomplete; the rest was not done.")
                .arg(path);
        case JobProblem::Unsafe:
            return unsafeEntry(path, r.other);
        case JobProblem::Damaged:
            return tr("“%1” is damaged: %2. What came before the damage was extracted.")
                .arg(path, raw(r.other));
        case JobProblem::WrongPassword:
            return tr("The password for “%1” is wrong, or none was given.").arg(path);
        case JobProblem::NoSpace:
            return tr("There is not enough free space in “%1”: %2 more are needed.")
                .arg(path, sizeText(std::strtoull(r.other.c_str(), nullptr, 10)));
    }
    return path;
}

QString JobTexts::errorTitle(const ErrorRequest& request) {
    return tr("Could not %1").arg(verb(request.action));
}

QString JobTexts::clashTitle(const ClashRequest& r) {
    return r.merge() ? tr("Folder already exists") : tr("File already exists");
}

QString JobTexts::clashHeadline(const ClashRequest& r) {
    if (r.caseOnly)
        return tr("“%1” differs only in letter case from “%2”, which is already in “%3”.")
            .arg(nameOf(r.source), nameOf(r.target), folderName(r.target));
    if (r.merge())
        return tr("A folder named “%1” is already in “%2”.").arg(nameOf(r.target), folderName(r.target));
    return tr("An item named “%1” is already in “%2”.").arg(nameOf(r.target), folderName(r.target));
}

}  // namespace kv
