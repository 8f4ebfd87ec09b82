#pragma once

#include <memory>

#include "platform/fs/jobresolver.h"
#include "platform/qt/fileoperations.h"

namespace kv {

// A job's questions, put to the user: called on the job's thread, it posts the question to the UI
// thread, where FileOperations shows a dialog and replies when it is answered. When the program's
// file operations are gone the question is answered Cancel, so the job ends instead of waiting.
class DialogResolver : public JobResolver {
  public:
    DialogResolver(std::shared_ptr<FileOperations::Anchor> anchor, quint64 job);

    void resolveClash(const ClashRequest& request, ClashReply reply) override;
    void resolveError(const ErrorRequest& request, ErrorReply reply) override;

  private:
    std::shared_ptr<FileOperations::Anchor> m_anchor;
    quint64 m_job;
};

}  // namespace kv
