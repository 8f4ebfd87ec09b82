#pragma once

// What bench_remote times copies with: RemoteTransferJob, g_file_copy alone and a tool, each copying
// one big file into a fresh folder, taking turns; and the event loop they are waited for in.
#include <sys/stat.h>

// GLib names a field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "bench/benchutil.h"
#include "platform/fs/remote/remotejobs.h"

namespace kv::bench {

// Runs the Qt event loop (which runs GLib's default context, where GVfs's client answers some calls,
// as the program's UI thread does) until done() holds or the limit passes.
inline bool spin(const std::function<bool()>& done, int limitMs = 120000) {
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    tick.start(1);
    if (!done()) loop.exec();
    return done();
}

// The median of each round's own ratio ours / theirs (both ran back to back in that round).
inline double pairedRatio(const std::vector<double>& ours, const std::vector<double>& theirs) {
    std::vector<double> r;
    for (size_t k = 0; k < ours.size() && k < theirs.size(); ++k) r.push_back(ours[k] / theirs[k]);
    return median(r);
}

// One copy by RemoteTransferJob, waited for with the event loop running.
inline double copyOurs(const std::string& source, const std::string& targetDir) {
    kv::RemoteTransferJob job(kv::TransferMode::Copy, {source}, targetDir);
    std::atomic<bool> done{false};
    job.onFinished([&](const kv::JobResult&) { done = true; });
    const double t0 = nowMs();
    job.start();
    spin([&] { return done.load(); }, 600000);
    const double t = nowMs() - t0;
    const kv::JobResult result = job.result();
    if (!result.ok())
        std::fprintf(stderr, "copy of %s failed: %s\n", source.c_str(),
                     result.reports.empty() ? "cancelled" : std::strerror(result.reports.front().error));
    return t;
}

// The same copy by g_file_copy alone, with a progress callback, on a thread of its own as the job's.
inline double copyBare(const std::string& source, const std::string& targetDir) {
    auto fileOf = [](const std::string& text) {
        return text.front() == '/' ? g_file_new_for_path(text.c_str()) : g_file_new_for_uri(text.c_str());
    };
    GFile* from = fileOf(source);
    GFile* dir = fileOf(targetDir);
    GFile* to = g_file_get_child(dir, "big");
    std::atomic<bool> done{false};
    const double t0 = nowMs();
    std::thread copier([&] {
        GError* error = nullptr;
        if (!g_file_copy(
                from, to, G_FILE_COPY_NOFOLLOW_SYMLINKS, nullptr, [](goffset, goffset, gpointer) {}, nullptr,
                &error)) {
            std::fprintf(stderr, "g_file_copy: %s\n", error->message);
            g_error_free(error);
        }
        done = true;
    });
    spin([&] { return done.load(); }, 600000);
    copier.join();
    const double t = nowMs() - t0;
    for (GFile* f : {from, dir, to}) g_object_unref(f);
    return t;
}

// Copies of one big file, ours and a tool's taking turns going first, each into a folder of its own
// that is removed after it; every copy starts after a sync, the source warm in the page cache.
class Copies {
  public:
    Copies(std::string work, int rounds) : m_work(std::move(work)), m_rounds(rounds) {
        const char* mb = std::getenv("KV_BENCH_REMOTE_MB");
        m_bytes = (mb ? std::max(1L, std::atol(mb)) : 1024L) * 1024 * 1024;
        m_source = m_work + "/big";
        writeData(m_source, static_cast<std::size_t>(m_bytes));
        sync();
    }
    const std::string& source() const { return m_source; }
    // "1 GiB", or the size asked for.
    std::string size() const {
        const long mib = m_bytes / (1024 * 1024);
        return mib % 1024 == 0 ? std::to_string(mib / 1024) + " GiB" : std::to_string(mib) + " MiB";
    }

    // A fresh folder under the work folder: its path, for the tool and (through `served`, which turns
    // a path into the server's location of it) for the job.
    std::string freshDir() {
        const std::string dir = m_work + "/copy" + std::to_string(m_made++);
        mkdir(dir.c_str(), 0755);
        return dir;
    }

    // A way to copy the file into a folder (given as a local path): its time in ms.
    struct Contender {
        std::string name;
        std::function<double(const std::string&)> copy;
    };

    // Ours against a well-known tool (the target), and against GIO's copy alone (what the job costs
    // beyond it; informative). They take turns going first.
    void measure(const std::string& what, const std::vector<Contender>& all) {
        std::vector<std::vector<double>> times(all.size());
        for (int k = 0; k < m_rounds; ++k) {
            for (size_t i = 0; i < all.size(); ++i) {
                const size_t c = (k + i) % all.size();
                const std::string dir = freshDir();
                sync();
                times[c].push_back(all[c].copy(dir));
                struct stat st {};
                if (stat((dir + "/big").c_str(), &st) != 0 || st.st_size != m_bytes)
                    std::fprintf(stderr, "%s: %s did not copy the whole file\n", what.c_str(),
                                 all[c].name.c_str());
                removeTree(dir);
            }
        }
        if (std::getenv("KV_BENCH_VERBOSE"))
            for (size_t c = 0; c < all.size(); ++c)
                for (double t : times[c])
                    std::fprintf(stderr, "%s: %s %.0f ms\n", what.c_str(), all[c].name.c_str(), t);
        const double mib = static_cast<double>(m_bytes) / (1024.0 * 1024.0);
        auto rate = [&](double ms) { return fmt("%.0f MiB/s", mib / (ms / 1000)) + fmt(" (%.0f ms)", ms); };
        const double om = median(times[0]);
        for (size_t c = 1; c < all.size(); ++c) {
            const double r = pairedRatio(times[c], times[0]);  // throughput: theirs time / ours
            const bool target = c == 1;
            row(what + (target ? "" : ", against GIO's copy alone"), rate(om),
                rate(median(times[c])) + " " + all[c].name, fmt("%.2f×", r),
                target ? "≥ 0.8×" : "(informative)", !target || r >= 0.8);
        }
    }

  private:
    std::string m_work;
    int m_rounds;
    long m_bytes = 0;
    std::string m_source;
    int m_made = 0;
};

}  // namespace kv::bench
