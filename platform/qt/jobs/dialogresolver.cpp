#include "platform/qt/jobs/dialogresolver.h"

#include "platform/qt/jobs/fileoperations.h"

namespace kv {

DialogResolver::DialogResolver(FileOperations& ops, quint64 job)
    : m_receiver(&ops), m_ops(&ops), m_job(job) {}

void DialogResolver::resolveClash(const ClashRequest& request, ClashReply reply) {
    m_receiver.post([ops = m_ops, job = m_job, request, reply] { ops->askClash(job, request, reply); },
                    [reply] {
                        reply({ClashChoice::Cancel, false});
                    });
}

void DialogResolver::resolveError(const ErrorRequest& request, ErrorReply reply) {
    m_receiver.post([ops = m_ops, job = m_job, request, reply] { ops->askError(job, request, reply); },
                    [reply] {
                        reply({ErrorChoice::Cancel, false});
                    });
}

}  // namespace kv
