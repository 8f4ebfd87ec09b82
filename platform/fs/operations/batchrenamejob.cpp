#include "platform/fs/operations/batchrenamejob.h"

#include <unistd.h>
#include <deque>
#include <set>
#include <unordered_map>

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

namespace {

struct Step {
    std::string from;  // where the item is now
    std::string to;    // where it goes
    std::string original;
    bool done = false;
};

class Renamer {
  public:
    Renamer(JobContext& ctx, std::vector<Step> steps) : m_ctx(ctx), m_steps(std::move(steps)) {
        for (size_t i = 0; i < m_steps.size(); ++i) {
            m_at[m_steps[i].from] = i;
            m_waitingFor[m_steps[i].to] = i;
        }
    }

    void run() {
        m_ctx.setTotals(0, m_steps.size());
        std::deque<size_t> ready;
        for (size_t i = 0; i < m_steps.size(); ++i)
            if (!m_at.count(m_steps[i].to)) ready.push_back(i);
        for (;;) {
            while (!ready.empty()) {
                const size_t i = ready.front();
                ready.pop_front();
                Step& s = m_steps[i];
                const std::string freed = s.from;
                if (!move(s.from, s.to)) {
                    m_blocked.insert(i);  // left where it is: whoever waits for its name stays too
                    continue;
                }
                s.done = true;
                m_at.erase(freed);
                m_ctx.addItems(1);
                if (auto w = m_waitingFor.find(freed); w != m_waitingFor.end() && !m_steps[w->second].done)
                    ready.push_back(w->second);
            }
            // What is left waits in rings (or behind an item that could not move): a ring is opened by
            // parking one of its items under a temporary name.
            const size_t ring = ringMember();
            if (ring == m_steps.size()) break;
            Step& s = m_steps[ring];
            const std::string freed = s.from;
            const std::string parked = temporaryName(s.from);
            if (!move(s.from, parked)) {
                m_blocked.insert(ring);
                continue;
            }
            m_at.erase(freed);
            s.from = parked;
            m_at[parked] = ring;
            // The one waiting for its old name goes; the others follow, the parked one last.
            if (auto w = m_waitingFor.find(freed); w != m_waitingFor.end()) ready.push_back(w->second);
        }
        settleParked();
    }

    // Cancelled or failed midway: an item parked under a temporary name goes on to its new name, or
    // back to its old one. Then the undo information: where each item that moved is now.
    void settleParked() {
        for (Step& s : m_steps) {
            if (s.done || s.from == s.original) continue;
            if (move(s.from, s.to, false)) {
                s.done = true;
            } else if (move(s.from, s.original, false)) {
                s.from = s.original;
            } else {
                m_ctx.noteSkipped(
                    {JobAction::Rename, s.original, EEXIST, JobProblem::Errno, paths::baseName(s.from)});
            }
        }
        for (const Step& s : m_steps) {
            const std::string& now = s.done ? s.to : s.from;
            if (now != s.original) m_ctx.undo().moved.emplace_back(s.original, now);
        }
    }

  private:
    // A pending item in a ring of items waiting for each other's names, or none (the size). An item
    // that waits behind one that stays is blocked on the way.
    size_t ringMember() {
        for (size_t i = 0; i < m_steps.size(); ++i) {
            if (m_steps[i].done || m_blocked.count(i)) continue;
            size_t at = i;
            for (size_t hops = 0; hops <= m_steps.size(); ++hops) {
                auto next = m_at.find(m_steps[at].to);
                if (next == m_at.end() || m_blocked.count(next->second)) {
                    m_blocked.insert(i);
                    break;
                }
                at = next->second;
                if (at == i) return i;
            }
        }
        return m_steps.size();
    }

    std::string temporaryName(const std::string& path) {
        const std::string dir = paths::parentOf(path);
        for (;;) {
            std::string name =
                ".renaming-" + std::to_string(getpid()) + "-" + std::to_string(m_nextTemporary++);
            struct stat st {};
            if (m_ctx.ops().lstat(paths::join(dir, name), st) != 0) return paths::join(dir, name);
        }
    }

    // One rename, never over an existing item. False when it was skipped after a failure.
    bool move(const std::string& from, const std::string& to, bool ask = true) {
        for (;;) {
            if (ask) m_ctx.checkpoint();
            m_ctx.setCurrent(from);
            const int r = m_ctx.ops().rename(from, to, true);
            if (r == 0) return true;
            if (!ask) return false;
            if (m_ctx.askError({from,
                                JobAction::Rename,
                                {JobAction::Rename, from, -r, JobProblem::Errno, paths::baseName(to)},
                                true}) == ErrorChoice::Skip)
                return false;
        }
    }

    JobContext& m_ctx;
    std::vector<Step> m_steps;
    std::unordered_map<std::string, size_t> m_at;          // where a pending item is: its step
    std::unordered_map<std::string, size_t> m_waitingFor;  // a new path: the step that wants it
    std::set<size_t> m_blocked;
    int m_nextTemporary = 0;
};

}  // namespace

BatchRenameJob::BatchRenameJob(std::vector<std::pair<std::string, std::string>> renames)
    : FileJob([renames = std::move(renames)](JobContext& ctx) { renameAll(ctx, renames); }) {}

void BatchRenameJob::renameAll(JobContext& ctx,
                               const std::vector<std::pair<std::string, std::string>>& renames) {
    ctx.undo().kind = UndoInfo::Kind::RenameMany;
    std::vector<Step> steps;
    for (const auto& [path, name] : renames) {
        if (name == paths::baseName(path)) continue;
        if (!paths::isValidName(name)) {
            ctx.noteSkipped({JobAction::Rename, path, EINVAL, JobProblem::InvalidName, name});
            continue;
        }
        steps.push_back({path, paths::join(paths::parentOf(path), name), path});
    }
    Renamer renamer(ctx, std::move(steps));
    try {
        renamer.run();
    } catch (const JobCancelled&) {
        renamer.settleParked();
        throw;
    }
}

}  // namespace kv
