#pragma once

#include <sys/stat.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv {

class JobContext;

// Going through a tree for a job: counting it before the work, and going into its folders during it.
// An item that cannot be read is put to the resolver (Retry or Skip).
class TreeWalk {
  public:
    using Visit =
        std::function<bool(const std::string& child, const std::string& name, const struct stat& st)>;

    explicit TreeWalk(JobContext& ctx) : m_ctx(ctx) {}

    // Adds path and everything below it to the totals; just the one item when shallow (a move that
    // is one rename). What cannot be read counts as nothing.
    void count(const std::string& path, const struct stat& st, bool shallow, std::uint64_t& bytes,
               std::uint64_t& items);
    // False when the item could not be read and the answer was Skip.
    bool lstatOrAsk(const std::string& path, struct stat& st);
    // The names in folder dir; false when it could not be read and the answer was Skip.
    bool listOrAsk(const std::string& dir, std::vector<std::string>& names);
    // visit(child path, name, its lstat) for each name, in order; true when every child could be read
    // and every visit returned true.
    bool forEachChild(const std::string& dir, const std::vector<std::string>& names, const Visit& visit);

  private:
    JobContext& m_ctx;
};

}  // namespace kv
