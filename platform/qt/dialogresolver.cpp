#include "platform/qt/dialogresolver.h"

namespace kv {

DialogResolver::DialogResolver(std::shared_ptr<FileOperations::Anchor> anchor, quint64 job)
    : m_anchor(std::move(anchor)), m_job(job) {}

void DialogResolver::resolveClash(const ClashRequest& request, ClashReply reply) {
    const quint64 job = m_job;
    if (!m_anchor->post([job, request, reply](FileOperations& ops) { ops.askClash(job, request, reply); }))
        reply({ClashChoice::Cancel, false});
}

void DialogResolver::resolveError(const ErrorRequest& request, ErrorReply reply) {
    const quint64 job = m_job;
    if (!m_anchor->post([job, request, reply](FileOperations& ops) { ops.askError(job, request, reply); }))
        reply({ErrorChoice::Cancel, false});
}

}  // namespace kv
