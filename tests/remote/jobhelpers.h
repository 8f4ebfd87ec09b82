#pragma once

// What the tests of the file jobs on servers share: a scripted resolver, running a job to its end, and
// trees of files to send and compare.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs/jobs/filejob.h"
#include "platform/fs/jobs/jobresolver.h"

namespace kv::test {

constexpr int kJobWait = 60000;

// Answers clashes from a script (Skip when it runs out) and skips every error, keeping what was asked.
struct Script : JobResolver {
    std::mutex mutex;
    std::deque<ClashChoice> clashes;
    std::vector<ClashRequest> askedClashes;
    std::vector<ErrorRequest> askedErrors;

    void resolveClash(const ClashRequest& request, ClashReply reply) override;
    void resolveError(const ErrorRequest& request, ErrorReply reply) override;
};

// Runs the job to its end with the Qt loop running (GVfs answers some calls on the main context).
JobResult finish(FileJob& job, std::shared_ptr<Script> script = std::make_shared<Script>());

// The reports of a result, one a line ("path: errno other"), for a failure's message.
std::string describe(const JobResult& result);

std::string randomBytes(std::size_t n, unsigned seed);

// Every file below root by its path relative to root, with its bytes ("/" marks a folder).
std::map<std::string, std::string> contents(const std::string& root);

std::int64_t mtimeOf(const std::string& path);

// A tree with nested folders, a few MiB, a UTF-8 name with spaces and an empty file; big.bin's time is
// 1000000000.
void makeTree(const std::string& root);

// Lists the place once, which mounts it, answering a password question with the one given (and the
// user the question offers), or cancelling it when none is given. Returns the listing's error.
int mountAt(const std::string& address, std::optional<std::string> password);

}  // namespace kv::test
