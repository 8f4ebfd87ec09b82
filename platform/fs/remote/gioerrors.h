#pragma once

#include <gio/gio.h>

#include <string>

#include "platform/fs/jobs/jobreport.h"

namespace kv::gioerrors {

// The errno that says what a GIO error says (EIO when none does). The error is not freed.
int errnoOf(const GError* error);

// True when the error means the connection to the server is gone (closed, reset, timed out): every
// later call on that server fails the same way, so a job stops rather than asking about each item.
bool connectionLost(const GError* error);

// A job's report of a failed GIO call on path: the errno, and the back end's own words in `other`
// where they say more than the errno does. The error is not freed.
JobReport reportOf(JobAction action, const std::string& path, const GError* error);

}  // namespace kv::gioerrors
