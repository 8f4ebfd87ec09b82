#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/fs/remote/giofiles.h"
#include "platform/fs/remote/mountquestion.h"

namespace kv {

// Mounting the volume a remote location lies on (g_file_mount_enclosing_volume): the mount operation's
// questions go to a MountAsker and its answers come back asynchronously, so nothing waits for the
// person. A password asked for again means the last one was not accepted (MountQuestion::retry).
class MountCall : public std::enable_shared_from_this<MountCall> {
  public:
    using DoneFn = std::function<void(giofiles::Failure failure)>;

    // GIO's thread. done runs there once, when the mount succeeded (error 0) or failed; ECANCELED
    // with no message when the person cancelled a question. A mount that ended as cancelled without the
    // person cancelling anything here (it was joined to another mount of the same server, which was
    // given up on) fails with notMounted set: it is worth trying again.
    // questionOpen(true) as a question goes to the asker, (false) as its answer goes to the server:
    // GIO's thread.
    static std::shared_ptr<MountCall> start(GFile* file, GCancellable* cancellable, std::string location,
                                            MountAsker asker, DoneFn done,
                                            std::function<void(bool open)> questionOpen = {});
    ~MountCall();

    // Any thread: an open question is answered as cancelled, and no later one is asked.
    void withdraw();

    MountCall(std::string location, MountAsker asker, DoneFn done);
    MountCall(const MountCall&) = delete;
    MountCall& operator=(const MountCall&) = delete;

  private:
    // A question of this mount, with the back end's message.
    MountQuestion question(MountQuestion::Kind kind, const char* message) const;
    static void askPassword(GMountOperation* op, const char* message, const char* user, const char* domain,
                            GAskPasswordFlags flags, gpointer self);
    static void askQuestion(GMountOperation* op, const char* message, const char** choices, gpointer self);
    static void mounted(GObject* file, GAsyncResult* result, gpointer holder);
    void ask(const MountQuestion& question);
    void apply(const MountAnswer& answer);

    std::string m_location;
    MountAsker m_asker;
    DoneFn m_done;
    std::function<void(bool open)> m_questionOpen;
    giofiles::Ref<GMountOperation> m_op;
    int m_passwordsAsked = 0;
    bool m_cancelledByPerson = false;
    std::mutex m_mutex;
    bool m_withdrawn = false;
    std::shared_ptr<std::atomic<bool>> m_answered;  // the open question's: answered yet
};

}  // namespace kv
