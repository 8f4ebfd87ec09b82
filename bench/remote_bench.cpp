// Folders and files on servers over loopback, against well-known clients measured in the same run on
// the same servers: a 10,000-entry folder listed over sftp (RemoteListingSource against `gio list` on
// the same GVfs mount and OpenSSH's `sftp -b`) and over ftp (against curl), and 1 GiB copied to and
// from each server (RemoteTransferJob against scp and curl). The servers (sshd, pyftpdlib) listen on
// 127.0.0.1 at free ports; the program runs itself again under tests/remote/private-session.sh, so the
// session bus, the GVfs daemons, their mounts and the ssh agent are its own. Prints ROW lines.
#include <QCoreApplication>
#include <atomic>
#include <cstring>
#include <mutex>

#include "bench/benchutil.h"
#include "bench/remotecopies.h"
#include "platform/fs/remote/remotelistingsource.h"
#include "remote/servers.h"

using namespace kv::bench;

namespace {

constexpr int kEntries = 10000;

struct Timing {
    double first = -1;  // ms to the first rows
    double all = -1;    // ms to the end
    long rows = 0;
};

// One listing through RemoteListingSource: the first batch's and the end's time are taken on GIO's
// thread as they come.
Timing listOurs(const std::string& location, const kv::MountAsker& asker) {
    kv::RemoteListingSource source(location, asker);
    std::atomic<bool> done{false};
    std::mutex mutex;
    Timing t;
    int error = 0;
    std::string message;
    const double t0 = nowMs();
    source.start(
        [&](std::vector<kv::DirEntry>&& batch) {
            std::lock_guard lock(mutex);
            if (t.first < 0) t.first = nowMs() - t0;
            t.rows += static_cast<long>(batch.size());
        },
        [&](int e, const std::string& m) {
            std::lock_guard lock(mutex);
            t.all = nowMs() - t0;
            error = e;
            message = m;
            done = true;
        });
    if (!spin([&] { return done.load(); }))
        std::fprintf(stderr, "listing %s did not end\n", location.c_str());
    source.cancel();
    std::lock_guard lock(mutex);
    if (error != 0) std::fprintf(stderr, "listing %s: %s\n", location.c_str(), message.c_str());
    return t;
}

// A tool whose standard output lists the folder: the time to its first output and to its end, and
// the lines it printed.
Timing listTool(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    Timing t;
    const double t0 = nowMs();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return {};
    }
    char buf[1 << 16];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (t.first < 0) t.first = nowMs() - t0;
        t.rows += std::count(buf, buf + n, '\n');
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    t.all = nowMs() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "%s failed\n", args[0].c_str());
    return t;
}

struct Series {
    std::string tool;  // how the baseline is named in the row
    std::vector<Timing> runs;
    std::vector<double> firsts() const {
        std::vector<double> v;
        for (const Timing& t : runs) v.push_back(t.first);
        return v;
    }
    std::vector<double> alls() const {
        std::vector<double> v;
        for (const Timing& t : runs) v.push_back(t.all);
        return v;
    }
};

void listingRows(const std::string& what, const Series& ours, const Series& tool, double target,
                 bool firstRow) {
    auto rowOf = [&](const std::string& part, const std::vector<double>& o, const std::vector<double>& b) {
        const double r = pairedRatio(o, b);
        row(what + ", " + part, fmt("%.0f ms", median(o)), fmt("%.0f ms ", median(b)) + tool.tool,
            fmt("%.2f×", r), target > 0 ? fmt("≤ %.1f×", target) : "(informative)",
            target <= 0 || r <= target);
    };
    if (firstRow) rowOf("first rows", ours.firsts(), tool.firsts());
    rowOf("all rows", ours.alls(), tool.alls());
}

void check(const std::string& who, const Timing& t, long expected) {
    if (t.rows < expected) std::fprintf(stderr, "%s gave %ld rows of %ld\n", who.c_str(), t.rows, expected);
}

// The port of "scheme://user@127.0.0.1:port/path".
std::string portOf(const std::string& address) {
    const size_t colon = address.find(':', address.find('@'));
    return address.substr(colon + 1, address.find('/', colon) - colon - 1);
}

// A shell-free batch file for `sftp -b`.
std::string writeBatch(const std::string& dir, const std::string& command) {
    const std::string path = dir + "/sftp-batch";
    std::ofstream(path) << command << "\n";
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    // The servers and the GVfs daemons must be this run's own: run again inside a private session.
    if (!std::getenv("KV_BENCH_REMOTE_SESSION")) {
        setenv("KV_BENCH_REMOTE_SESSION", "1", 1);
        std::vector<char*> args{const_cast<char*>(KV_PRIVATE_SESSION), argv[0]};
        for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(args[0], args.data());
        std::perror(KV_PRIVATE_SESSION);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const char* roundsEnv = std::getenv("KV_BENCH_ROUNDS");
    const int rounds = roundsEnv ? std::max(1, std::atoi(roundsEnv)) : 5;
    const std::string work = makeTempDir("remote");
    const std::string folder = work + "/list";
    mkdir(folder.c_str(), 0755);
    fillFolder(folder, kEntries);

    kv::test::SshServer ssh;
    kv::test::FtpServer ftp(work, {{"kim", "secret"}});
    if (!ssh.running()) std::fprintf(stderr, "sshd did not start: %s\n", ssh.problem().c_str());
    if (!ftp.running()) std::fprintf(stderr, "pyftpdlib did not start\n");
    const kv::MountAsker ftpAsker = [](const kv::MountQuestion&, kv::MountReply reply) {
        kv::MountAnswer a;
        a.cancelled = false;
        a.user = "kim";
        a.password = "secret";
        reply(a);
    };
    const std::string port = portOf(ssh.address());
    const std::string user = ssh.address().substr(7, ssh.address().find('@') - 7);
    const std::vector<std::string> sshOptions{"-o", "BatchMode=yes", "-o",
                                              "NoHostAuthenticationForLocalhost=yes"};

    if (ssh.running()) {
        const std::string location = ssh.address(folder);
        std::vector<std::string> sftp{"sftp", "-q", "-b", writeBatch(work, "ls -l " + folder), "-P", port};
        sftp.insert(sftp.end(), sshOptions.begin(), sshOptions.end());
        sftp.push_back(user + "@127.0.0.1");
        const std::vector<std::string> gio{"gio", "list", "-l", location};
        // Mounted by the first listing; each client once before the timed rounds.
        check("RemoteListingSource (sftp)", listOurs(location, {}), kEntries);
        check("gio list", listTool(gio), kEntries);
        check("sftp -b", listTool(sftp), kEntries);
        Series ours{"", {}}, gioRuns{"gio list", {}}, sftpRuns{"sftp -b (ls -l)", {}};
        for (int k = 0; k < rounds; ++k) {
            // Each takes a turn going first.
            for (int i = 0; i < 3; ++i) {
                switch ((k + i) % 3) {
                    case 0:
                        ours.runs.push_back(listOurs(location, {}));
                        break;
                    case 1:
                        gioRuns.runs.push_back(listTool(gio));
                        break;
                    default:
                        sftpRuns.runs.push_back(listTool(sftp));
                        break;
                }
            }
        }
        listingRows("sftp: list 10,000 entries", ours, gioRuns, 1.5, true);
        listingRows("sftp: list 10,000 entries", ours, sftpRuns, 2.0, false);
    }

    if (ftp.running()) {
        const std::string location = ftp.address("kim", "/list");
        const std::vector<std::string> curl{"curl", "-s", "-u", "kim:secret",
                                            "ftp://127.0.0.1:" + portOf(location) + "/list/"};
        const std::vector<std::string> gio{"gio", "list", "-l", location};
        check("RemoteListingSource (ftp)", listOurs(location, ftpAsker), kEntries);
        check("curl", listTool(curl), kEntries);
        check("gio list (ftp)", listTool(gio), kEntries);
        Series ours{"", {}}, curlRuns{"curl (LIST)", {}}, gioRuns{"gio list", {}};
        for (int k = 0; k < rounds; ++k) {
            for (int i = 0; i < 3; ++i) {
                switch ((k + i) % 3) {
                    case 0:
                        ours.runs.push_back(listOurs(location, ftpAsker));
                        break;
                    case 1:
                        curlRuns.runs.push_back(listTool(curl));
                        break;
                    default:
                        gioRuns.runs.push_back(listTool(gio));
                        break;
                }
            }
        }
        listingRows("ftp: list 10,000 entries", ours, curlRuns, 0, true);
        // What GVfs's ftp back end costs by itself, on the same mount.
        listingRows("ftp: list 10,000 entries", ours, gioRuns, 0, false);
    }

    // The slowest part: three rounds unless fewer are asked for.
    Copies copies(work, std::min(rounds, 3));
    const std::string big = copies.source();
    // One direction: the source and the target folder as GIO and the job are given them (dir is the
    // local path of a fresh folder), and the tool's command.
    using Text = std::function<std::string(const std::string& dir)>;
    auto direction = [&](const std::string& what, const Text& from, const Text& into,
                         const std::string& toolName,
                         const std::function<std::vector<std::string>(const std::string& dir)>& tool) {
        copies.measure(what,
                       {{"ours", [&](const std::string& d) { return copyOurs(from(d), into(d)); }},
                        {toolName, [&](const std::string& d) { return runTool(tool(d)); }},
                        {"g_file_copy", [&](const std::string& d) { return copyBare(from(d), into(d)); }}});
    };
    auto local = [](const std::string& path) { return [path](const std::string&) { return path; }; };
    const Text here = [](const std::string& dir) { return dir; };
    if (ssh.running()) {
        std::vector<std::string> scp{"scp", "-q", "-P", port};
        scp.insert(scp.end(), sshOptions.begin(), sshOptions.end());
        const std::string remote = user + "@127.0.0.1:";
        direction(
            "sftp: copy " + copies.size() + " to the server", local(big),
            [&](const std::string& dir) { return ssh.address(dir); }, "scp",
            [&](const std::string& dir) {
                std::vector<std::string> args = scp;
                args.insert(args.end(), {big, remote + dir + "/"});
                return args;
            });
        direction("sftp: copy " + copies.size() + " from the server", local(ssh.address(big)), here, "scp",
                  [&](const std::string& dir) {
                      std::vector<std::string> args = scp;
                      args.insert(args.end(), {remote + big, dir + "/"});
                      return args;
                  });
    }
    if (ftp.running()) {
        // The ftp server serves the work folder as its root.
        const std::string root = "ftp://127.0.0.1:" + portOf(ftp.address("kim")) + "/";
        auto served = [&](const std::string& path) { return path.substr(work.size()); };
        direction(
            "ftp: copy " + copies.size() + " to the server", local(big),
            [&](const std::string& dir) { return ftp.address("kim", served(dir)); }, "curl -T",
            [&](const std::string& dir) {
                return std::vector<std::string>{
                    "curl", "-s", "-u", "kim:secret", "-T", big, root + served(dir).substr(1) + "/big"};
            });
        direction("ftp: copy " + copies.size() + " from the server", local(ftp.address("kim", served(big))),
                  here, "curl", [&](const std::string& dir) {
                      return std::vector<std::string>{
                          "curl", "-s", "-u", "kim:secret", "-o", dir + "/big", root + served(big).substr(1)};
                  });
    }
    removeTree(work);
    return 0;
}
