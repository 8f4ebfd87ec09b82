#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/fs/jobs/jobreport.h"
#include "platform/fs/remote/jobwatch.h"

namespace kv {

class JobContext;

// What a remote job needs to know of an item.
struct RemoteItem {
    std::string name;
    bool exists = false;
    bool isDir = false;
    bool isSymlink = false;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
};

// Thrown when the server a job works on is gone or stopped answering: every later call would fail the
// same way, so the job ends with this one report.
struct ServerLost {
    JobReport report;
};

// The synchronous GIO calls of one remote job, on its thread, under its JobWatch. A call that fails
// gives a report, or throws: JobCancelled when the job was cancelled, ServerLost when the server is
// gone. Each path is a local absolute path or a location text (remotepaths).
class RemoteCalls {
  public:
    explicit RemoteCalls(JobContext& ctx);

    JobContext& ctx() { return m_ctx; }
    JobWatch& watch() { return m_watch; }
    GCancellable* cancellable() const { return m_watch.cancellable(); }

    // Frees the error. Throws as above, else the report for a question. other: a second item the
    // failed call worked on (a copy's target), whose server may be the one gone.
    JobReport failure(JobAction action, const std::string& path, GError* error,
                      const std::string& other = {});
    // False with a report when the server could not say; an item that is not there has exists false.
    bool query(const std::string& path, RemoteItem& item, JobReport& report);
    bool list(const std::string& dir, std::vector<RemoteItem>& children, JobReport& report);
    // Deletes an item, a folder with its contents (children first).
    bool removeTree(const std::string& path, const RemoteItem& item, JobReport& report);
    // Asks the job's resolver about a failed step; true to try it again.
    bool retry(const std::string& path, JobAction action, const JobReport& report);

    // Runs a job's body: a lost server ends it with its report.
    static void run(JobContext& ctx, const std::function<void(RemoteCalls&)>& body);

  private:
    // True unless path is on a server that no longer answers (a local path always does).
    bool serverAnswers(const std::string& path);

    JobContext& m_ctx;
    JobWatch m_watch;
};

}  // namespace kv
