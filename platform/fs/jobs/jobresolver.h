#pragma once

#include <functional>

#include "platform/fs/jobs/clashrequest.h"
#include "platform/fs/jobs/errorrequest.h"

namespace kv {

// Asked by a job, from the job's thread, when a name clashes or an operation fails. The resolver
// must not block: it shows its prompt (posting to the UI thread) and calls `reply` later, from any
// thread. The job waits for the reply, or for cancel(); a reply that comes after the job stopped is
// ignored, so a prompt closed late is harmless. Only the first call of a reply counts.
class JobResolver {
  public:
    using ClashReply = std::function<void(ClashDecision)>;
    using ErrorReply = std::function<void(ErrorDecision)>;

    virtual ~JobResolver() = default;
    virtual void resolveClash(const ClashRequest& request, ClashReply reply) = 0;
    virtual void resolveError(const ErrorRequest& request, ErrorReply reply) = 0;
};

}  // namespace kv
