#pragma once

#include <QCoreApplication>
#include <QString>

#include "platform/fs/jobs/clashrequest.h"
#include "platform/fs/jobs/errorrequest.h"
#include "platform/fs/jobs/jobreport.h"

namespace kv {

// The words for what the file jobs report: the engine says what failed, where and why (action, raw
// paths, errno); the sentences the user reads are made here, in one place, for the error and clash
// dialogs and for the report at the end of a job.
class JobTexts {
    Q_DECLARE_TR_FUNCTIONS(JobTexts)

  public:
    // "Cannot copy “/a/b”: No space left on device"
    static QString sentence(const JobReport& report);
    // The error dialog's title: "Could not copy".
    static QString errorTitle(const ErrorRequest& request);
    // The clash dialog's title and first line.
    static QString clashTitle(const ClashRequest& request);
    static QString clashHeadline(const ClashRequest& request);
    // The name of the folder an item is in, as the folder view shows it.
    static QString folderName(const std::string& path);
    // The system's words for an errno ("No space left on device").
    static QString systemError(int error);
};

}  // namespace kv
