#include "platform/fs/remote/giothread.h"

#include <gio/gio.h>

#include <thread>

namespace kv::giothread {

namespace {

GMainContext* context() {
    // Made once and never ended: the thread outlives every caller, as the program's own threads do.
    static GMainContext* const ctx = [] {
        GMainContext* c = g_main_context_new();
        std::thread([c] {
            g_main_context_push_thread_default(c);
            GMainLoop* loop = g_main_loop_new(c, FALSE);
            g_main_loop_run(loop);
        }).detach();
        return c;
    }();
    return ctx;
}

gboolean runOnce(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void drop(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

}  // namespace

void post(std::function<void()> fn) {
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runOnce, new std::function<void()>(std::move(fn)), drop);
    g_source_attach(source, context());
    g_source_unref(source);
}

}  // namespace kv::giothread
