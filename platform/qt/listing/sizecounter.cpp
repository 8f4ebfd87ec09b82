#include "platform/qt/listing/sizecounter.h"

#include <dirent.h>
#include <sys/stat.h>
#include <chrono>
#include <functional>
#include <set>
#include <utility>

#include "platform/fs/core/background.h"

namespace kv {

namespace {

struct Walk {
    std::shared_ptr<std::atomic<bool>> stop;
    SizeCounter::Totals totals;
    std::set<std::pair<dev_t, ino_t>> linked;  // files with more than one name, counted once

    void add(const std::string& path, const struct stat& st) {
        if (S_ISDIR(st.st_mode)) {
            ++totals.folders;
            dir(path);
            return;
        }
        ++totals.files;
        if (st.st_nlink > 1 && !linked.insert({st.st_dev, st.st_ino}).second) return;
        totals.bytes += static_cast<quint64>(st.st_size);
    }

    void dir(const std::string& path) {
        DIR* d = ::opendir(path.c_str());
        if (!d) {
            ++totals.unreadable;
            return;
        }
        while (!*stop) {
            const dirent* e = ::readdir(d);
            if (!e) break;
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string child = path + (path.size() > 1 && path.back() == '/' ? "" : "/") + name;
            struct stat st {};
            if (::lstat(child.c_str(), &st) == 0) add(child, st);
            tick();
        }
        ::closedir(d);
    }

    std::function<void(const SizeCounter::Totals&)> report;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    void tick() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last > std::chrono::milliseconds(200)) {
            last = now;
            report(totals);
        }
    }
};

}  // namespace

SizeCounter::SizeCounter(QObject* parent) : QObject(parent) {}

SizeCounter::~SizeCounter() {
    stop();
}

void SizeCounter::stop() {
    if (m_stop) *m_stop = true;
}

void SizeCounter::start(const QList<QByteArray>& paths) {
    stop();
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_done = false;
    m_totals = {};
    std::vector<std::string> list;
    for (const QByteArray& p : paths) list.push_back(p.toStdString());
    // The counter may be gone by the time a total arrives: the receiver drops it then. A count that
    // was stopped (or started again) reports nothing more.
    auto post = [this, receiver = Receiver(this), stop = m_stop](const Totals& t, bool final) {
        receiver.post([this, t, final, stop] {
            if (m_done || *stop) return;
            m_totals = t;
            if (final) {
                m_done = true;
                emit done(t);
            } else {
                emit progress(t);
            }
        });
    };
    background::runDetached([list = std::move(list), stop = m_stop, post] {
        Walk walk;
        walk.stop = stop;
        walk.report = [&](const Totals& t) {
            if (!*stop) post(t, false);
        };
        for (const std::string& p : list) {
            struct stat st {};
            // A chosen folder is what is being measured: its contents count, it does not.
            if (::lstat(p.c_str(), &st) == 0) S_ISDIR(st.st_mode) ? walk.dir(p) : walk.add(p, st);
            if (*stop) return;
        }
        post(walk.totals, true);
    });
}

}  // namespace kv
