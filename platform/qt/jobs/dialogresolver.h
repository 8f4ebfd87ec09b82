#pragma once

#include <QtGlobal>

#include "platform/fs/core/background.h"
#include "platform/fs/jobs/jobresolver.h"

class QObject;

namespace kv {

// Who puts a job's questions to the user, on the UI thread: shows the dialog and replies when it is
// answered (the file operations).
class JobQuestions {
  public:
    virtual void askClash(quint64 job, const ClashRequest& request, JobResolver::ClashReply reply) = 0;
    virtual void askError(quint64 job, const ErrorRequest& request, JobResolver::ErrorReply reply) = 0;

  protected:
    ~JobQuestions() = default;
};

// A job's questions, put to the user: called on the job's thread, it posts the question to the UI
// thread, where the questions' owner shows a dialog and replies when it is answered. When that owner
// is gone the question is answered Cancel, so the job ends instead of waiting.
class DialogResolver : public JobResolver {
  public:
    // UI thread. owner: the object whose end ends the questions (it owns `questions`).
    DialogResolver(QObject* owner, JobQuestions& questions, quint64 job);

    void resolveClash(const ClashRequest& request, ClashReply reply) override;
    void resolveError(const ErrorRequest& request, ErrorReply reply) override;

  private:
    Receiver m_receiver;
    JobQuestions* m_questions;  // used only in what m_receiver runs, so only while its owner exists
    quint64 m_job;
};

}  // namespace kv
