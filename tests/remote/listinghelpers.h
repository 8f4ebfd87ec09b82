#pragma once

// What the tests of listings on servers share: a listing's outcome and a scripted asker of passwords.
#include <QCoreApplication>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fs/remote/remotelistingsource.h"

namespace kv::test {

// What a listing gave, gathered from GIO's thread.
struct Outcome {
    std::mutex mutex;
    std::vector<DirEntry> entries;
    int batches = 0;
    bool done = false;
    int error = 0;
    std::string message;

    void start(ListingSource& source) {
        source.start(
            [this](std::vector<DirEntry>&& batch) {
                std::lock_guard lock(mutex);
                ++batches;
                entries.insert(entries.end(), batch.begin(), batch.end());
            },
            [this](int e, const std::string& m) {
                std::lock_guard lock(mutex);
                done = true;
                error = e;
                message = m;
            });
    }
    bool isDone() {
        std::lock_guard lock(mutex);
        return done;
    }
};

// Answers each question with the next scripted answer, or keeps it open when none is left.
struct Asker {
    std::mutex mutex;
    std::deque<MountAnswer> answers;
    std::vector<MountQuestion> asked;
    std::vector<MountReply> open;

    static MountAnswer password(const std::string& user, const std::string& password) {
        MountAnswer a;
        a.cancelled = false;
        a.user = user;
        a.password = password;
        return a;
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return asked.size();
    }
};

inline MountAsker askerOf(const std::shared_ptr<Asker>& asker) {
    return [asker](const MountQuestion& q, MountReply reply) {
        std::unique_lock lock(asker->mutex);
        asker->asked.push_back(q);
        if (asker->answers.empty()) {
            asker->open.push_back(std::move(reply));
            return;
        }
        MountAnswer a = asker->answers.front();
        asker->answers.pop_front();
        // What the question offers stands where the answer gives nothing, as in the panel's fields.
        if (a.user.empty()) a.user = q.user;
        if (a.domain.empty()) a.domain = q.domain;
        // Answered later, from the UI thread, as the panel does.
        QMetaObject::invokeMethod(
            qApp, [reply, a] { reply(a); }, Qt::QueuedConnection);
    };
}

}  // namespace kv::test
