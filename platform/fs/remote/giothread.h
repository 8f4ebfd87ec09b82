#pragma once

#include <functional>

namespace kv::giothread {

// The one thread where the remote places' GIO calls are made and their answers come: it owns a GLib
// main context of its own and iterates it for as long as the program runs; a server that does not answer
// holds up no one but its own calls. GVfs's client library still answers a few of its calls (the mount
// tracker's) on the process's default context, which the UI thread's event loop runs: without that loop
// running (a test waiting without it), a listing after a mount may never end.
//
// Runs fn on that thread, later (never within the caller, even when called on it).
void post(std::function<void()> fn);

}  // namespace kv::giothread
