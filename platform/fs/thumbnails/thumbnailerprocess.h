#pragma once

#include <string>
#include <vector>

namespace kv {

// Runs a thumbnailer's command line and waits for it, at most so long: a program that hangs on a
// damaged file is killed, with every process it started (it runs in a session of its own). Its output
// goes nowhere; the arguments are raw bytes. Blocks the calling thread, so a worker's.
class ThumbnailerProcess {
  public:
    enum class Outcome { Exited, Failed, TimedOut, NotStarted };

    static Outcome run(const std::vector<std::string>& argv, int timeoutMs);
};

}  // namespace kv
