#include "platform/fs/remote/remotemount.h"

#include <cerrno>

#include "platform/fs/remote/giothread.h"

namespace kv {

MountCall::MountCall(std::string location, MountAsker asker, DoneFn done)
    : m_location(std::move(location)),
      m_asker(std::move(asker)),
      m_done(std::move(done)),
      m_op(giofiles::Ref<GMountOperation>::adopt(g_mount_operation_new())) {}

MountCall::~MountCall() {
    g_signal_handlers_disconnect_by_data(m_op.get(), this);
}

std::shared_ptr<MountCall> MountCall::start(GFile* file, GCancellable* cancellable, std::string location,
                                            MountAsker asker, DoneFn done,
                                            std::function<void(bool open)> questionOpen) {
    auto call = std::make_shared<MountCall>(std::move(location), std::move(asker), std::move(done));
    call->m_questionOpen = std::move(questionOpen);
    // The handlers run on this thread while the mount runs; the call lives until it has ended.
    g_signal_connect(call->m_op.get(), "ask-password", G_CALLBACK(askPassword), call.get());
    g_signal_connect(call->m_op.get(), "ask-question", G_CALLBACK(askQuestion), call.get());
    g_file_mount_enclosing_volume(file, G_MOUNT_MOUNT_NONE, call->m_op.get(), cancellable, mounted,
                                  new std::shared_ptr<MountCall>(call));
    return call;
}

void MountCall::mounted(GObject* file, GAsyncResult* result, gpointer holder) {
    std::unique_ptr<std::shared_ptr<MountCall>> self(static_cast<std::shared_ptr<MountCall>*>(holder));
    GError* error = nullptr;
    g_file_mount_enclosing_volume_finish(G_FILE(file), result, &error);
    // Mounted by someone else meanwhile (another pane, the desktop): as good as mounted here.
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_ALREADY_MOUNTED)) g_clear_error(&error);
    giofiles::Failure failure = giofiles::take(error);
    MountCall& call = **self;
    if (failure.error == ECANCELED && !call.m_cancelledByPerson) failure.notMounted = true;
    g_signal_handlers_disconnect_by_data(call.m_op.get(), &call);
    {
        std::lock_guard lock(call.m_mutex);
        call.m_withdrawn = true;
        if (call.m_answered) call.m_answered->store(true);
    }
    call.m_done(std::move(failure));
}

MountQuestion MountCall::question(MountQuestion::Kind kind, const char* message) const {
    MountQuestion q;
    q.kind = kind;
    q.location = m_location;
    q.message = message ? message : "";
    return q;
}

void MountCall::askPassword(GMountOperation* op, const char* message, const char* user, const char* domain,
                            GAskPasswordFlags flags, gpointer self) {
    // Answered later: the class's own handler, which would answer "unhandled" at once, is not run.
    g_signal_stop_emission_by_name(op, "ask-password");
    auto& call = *static_cast<MountCall*>(self);
    MountQuestion q = call.question(MountQuestion::Kind::Password, message);
    q.user = user ? user : "";
    q.domain = domain ? domain : "";
    q.askUser = flags & G_ASK_PASSWORD_NEED_USERNAME;
    q.askDomain = flags & G_ASK_PASSWORD_NEED_DOMAIN;
    q.askPassword = flags & G_ASK_PASSWORD_NEED_PASSWORD;
    q.anonymousAllowed = flags & G_ASK_PASSWORD_ANONYMOUS_SUPPORTED;
    q.canRemember = flags & G_ASK_PASSWORD_SAVING_SUPPORTED;
    q.retry = call.m_passwordsAsked++ > 0;
    call.ask(q);
}

void MountCall::askQuestion(GMountOperation* op, const char* message, const char** choices, gpointer self) {
    g_signal_stop_emission_by_name(op, "ask-question");
    auto& call = *static_cast<MountCall*>(self);
    MountQuestion q = call.question(MountQuestion::Kind::Choice, message);
    for (const char** c = choices; c && *c; ++c) q.choices.emplace_back(*c);
    call.ask(q);
}

void MountCall::ask(const MountQuestion& question) {
    auto answered = std::make_shared<std::atomic<bool>>(false);
    bool withdrawn = false;
    {
        std::lock_guard lock(m_mutex);
        withdrawn = m_withdrawn;
        m_answered = answered;
    }
    MountReply reply = [self = shared_from_this(), answered](const MountAnswer& answer) {
        if (answered->exchange(true)) return;
        giothread::post([self, answer] { self->apply(answer); });
    };
    if (withdrawn || !m_asker) {
        reply(MountAnswer{});
        return;
    }
    if (m_questionOpen) m_questionOpen(true);
    m_asker(question, std::move(reply));
}

void MountCall::apply(const MountAnswer& answer) {
    if (m_questionOpen) m_questionOpen(false);
    GMountOperation* op = m_op.get();
    if (answer.cancelled) {
        m_cancelledByPerson = true;
        g_mount_operation_reply(op, G_MOUNT_OPERATION_ABORTED);
        return;
    }
    if (!answer.user.empty()) g_mount_operation_set_username(op, answer.user.c_str());
    if (!answer.domain.empty()) g_mount_operation_set_domain(op, answer.domain.c_str());
    g_mount_operation_set_password(op, answer.password.c_str());
    g_mount_operation_set_anonymous(op, answer.anonymous);
    g_mount_operation_set_choice(op, answer.choice);
    g_mount_operation_set_password_save(
        op, answer.remember == MountAnswer::Remember::Always       ? G_PASSWORD_SAVE_PERMANENTLY
            : answer.remember == MountAnswer::Remember::ForSession ? G_PASSWORD_SAVE_FOR_SESSION
                                                                   : G_PASSWORD_SAVE_NEVER);
    g_mount_operation_reply(op, G_MOUNT_OPERATION_HANDLED);
}

void MountCall::withdraw() {
    std::shared_ptr<std::atomic<bool>> open;
    {
        std::lock_guard lock(m_mutex);
        m_withdrawn = true;
        open = m_answered;
    }
    if (open && !open->exchange(true)) {
        giothread::post([self = shared_from_this()] {
            g_mount_operation_reply(self->m_op.get(), G_MOUNT_OPERATION_ABORTED);
        });
    }
}

}  // namespace kv
