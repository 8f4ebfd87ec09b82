#include "platform/qt/jobs/dialogresolver.h"

namespace kv {

DialogResolver::DialogResolver(QObject* owner, JobQuestions& questions, quint64 job)
    : m_receiver(owner), m_questions(&questions), m_job(job) {}

void DialogResolver::resolveClash(const ClashRequest& request, ClashReply reply) {
    m_receiver.post(
        [questions = m_questions, job = m_job, request, reply] { questions->askClash(job, request, reply); },
        [reply] {
            reply({ClashChoice::Cancel, false});
        });
}

void DialogResolver::resolveError(const ErrorRequest& request, ErrorReply reply) {
    m_receiver.post(
        [questions = m_questions, job = m_job, request, reply] { questions->askError(job, request, reply); },
        [reply] {
            reply({ErrorChoice::Cancel, false});
        });
}

}  // namespace kv
