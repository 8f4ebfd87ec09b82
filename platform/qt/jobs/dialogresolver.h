#pragma once

#include "platform/fs/core/background.h"
#include "platform/fs/jobs/jobresolver.h"

namespace kv {

class FileOperations;

// A job's questions, put to the user: called on the job's thread, it posts the question to the UI
// thread, where FileOperations shows a dialog and replies when it is answered. When the program's
// file operations are gone the question is answered Cancel, so the job ends instead of waiting.
class DialogResolver : public JobResolver {
  public:
    // UI thread.
    DialogResolver(FileOperations& ops, quint64 job);

    void resolveClash(const ClashRequest& request, ClashReply reply) override;
    void resolveError(const ErrorRequest& request, ErrorReply reply) override;

  private:
    Receiver m_receiver;
    FileOperations* m_ops;  // used only in what m_receiver runs, so only while it exists
    quint64 m_job;
};

}  // namespace kv
