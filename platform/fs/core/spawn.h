#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace kv {

// Starts a program (looked up on the PATH) in a session of its own, its standard input, output and
// error on /dev/null and no signal blocked, in dir when given. Spawned, never forked: a program of many
// threads must not fork. Returns 0 with pid set, or the errno of the failure (ENOENT: not found).
int spawnDetachedQuiet(const std::vector<std::string>& argv, pid_t& pid, const std::string& dir = {});

}  // namespace kv
