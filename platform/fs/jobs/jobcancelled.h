#pragma once

namespace kv {

// Thrown inside a job's thread when the job is cancelled, so every level unwinds through its guards
// (a partial file removes itself) without threading a flag through each return.
struct JobCancelled {};

}  // namespace kv
