#include "remote/servers.h"

#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <fstream>
#include <sstream>

namespace kv::test {

namespace {

// Prints its port once it listens; ends with its standard input (the test) closing.
const char* const kFtpScript = R"(
import sys, threading, os
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
authorizer = DummyAuthorizer()
for pair in sys.argv[2:]:
    name, password = pair.split(':', 1)
    authorizer.add_user(name, password, sys.argv[1], perm='elradfmwMT')
handler = FTPHandler
handler.authorizer = authorizer
server = FTPServer(('127.0.0.1', 0), handler)
print(server.address[1], flush=True)
threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
server.serve_forever()
)";

}  // namespace

FtpServer::FtpServer(const std::string& root, const std::map<std::string, std::string>& users) {
    QStringList args{"-c", kFtpScript, QString::fromStdString(root)};
    for (const auto& [name, password] : users) args << QString::fromStdString(name + ":" + password);
    // Debian's interpreter, which has pyftpdlib, whatever else is first on the PATH.
    m_process.start("/usr/bin/python3", args);
    if (!m_process.waitForStarted(30000)) return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(30000)) {
    }
    if (m_process.canReadLine()) m_port = m_process.readLine().trimmed().toInt();
}

FtpServer::~FtpServer() {
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000)) m_process.kill();
    m_process.waitForFinished(10000);
}

std::string FtpServer::address(const std::string& user, const std::string& path) const {
    return "ftp://" + user + "@127.0.0.1:" + std::to_string(m_port) + path;
}

namespace {

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

bool SshServer::run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        m_problem = (program + " " + args.join(' ') + ": " + p.readAllStandardError()).toStdString();
        return false;
    }
    return true;
}

SshServer::SshServer() {
    char templ[] = "/tmp/kv-sshd-XXXXXX";
    if (!::mkdtemp(templ)) return;
    m_dir = templ;
    const QString dir = QString::fromStdString(m_dir);
    m_sshDir = std::string(::getpwuid(::getuid())->pw_dir) + "/.ssh";
    struct stat st {};
    m_hadSshDir = ::stat(m_sshDir.c_str(), &st) == 0;
    m_hadKnownHosts = ::stat((m_sshDir + "/known_hosts").c_str(), &st) == 0;
    if (qgetenv("SSH_AUTH_SOCK").isEmpty()) {
        m_problem = "no ssh agent (private-session.sh starts one)";
        return;
    }
    if (!run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", dir + "/host_key"}) ||
        !run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", dir + "/client_key"}) ||
        !run("ssh-add", {"-q", dir + "/client_key"}))
        return;
    QFile::copy(dir + "/client_key.pub", dir + "/authorized_keys");
    std::istringstream pub(slurp(m_dir + "/host_key.pub"));
    std::string type;
    pub >> type >> m_hostKey;
    // sshd wants its privilege separation folder, which only its service makes.
    m_madeRunDir = ::mkdir("/run/sshd", 0755) == 0;
    std::ofstream(m_dir + "/sshd_config") << "HostKey " << m_dir << "/host_key\n"
                                          << "ListenAddress 127.0.0.1\n"
                                          << "AuthorizedKeysFile " << m_dir << "/authorized_keys\n"
                                          << "PasswordAuthentication no\n"
                                          << "KbdInteractiveAuthentication no\n"
                                          << "PermitRootLogin prohibit-password\n"
                                          << "StrictModes no\n"
                                          << "UsePAM no\n"
                                          << "PidFile none\n"
                                          << "Subsystem sftp internal-sftp\n";
    // A port found free may be taken before sshd binds it: another is tried then.
    for (int attempt = 0; attempt < 5 && m_port == 0; ++attempt) {
        const int port = freePort();
        m_sshd.start("/usr/sbin/sshd", {"-D", "-e", "-f", dir + "/sshd_config", "-p", QString::number(port)});
        if (!m_sshd.waitForStarted(30000)) break;
        if (QTest::qWaitFor([&] { return m_sshd.state() != QProcess::Running || accepts(port); }, 30000) &&
            m_sshd.state() == QProcess::Running)
            m_port = port;
        else
            m_problem = m_sshd.readAllStandardError().toStdString();
    }
}

SshServer::~SshServer() {
    if (m_sshd.state() != QProcess::NotRunning) {
        m_sshd.terminate();
        if (!m_sshd.waitForFinished(10000)) m_sshd.kill();
        m_sshd.waitForFinished(10000);
    }
    if (!m_hostKey.empty()) forgetHostKey();
    if (m_madeRunDir) ::rmdir("/run/sshd");
    if (!m_dir.empty()) QDir(QString::fromStdString(m_dir)).removeRecursively();
}

namespace {

// The processes pid started, and theirs, deepest first.
void descendants(pid_t pid, std::vector<pid_t>& found) {
    std::istringstream children(
        slurp("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children"));
    for (pid_t child; children >> child;) {
        descendants(child, found);
        found.push_back(child);
    }
}

}  // namespace

void SshServer::dropSessions() {
    std::vector<pid_t> sessions;
    descendants(static_cast<pid_t>(m_sshd.processId()), sessions);
    for (pid_t pid : sessions) ::kill(pid, SIGKILL);
}

void SshServer::forgetHostKey() {
    const std::string file = m_sshDir + "/known_hosts";
    std::istringstream lines(slurp(file));
    std::string kept;
    bool removed = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(m_hostKey) != std::string::npos) {
            removed = true;
            continue;
        }
        kept += line + "\n";
    }
    if (removed) std::ofstream(file, std::ios::trunc) << kept;
    if (!m_hadKnownHosts && kept.empty()) ::unlink(file.c_str());
    if (!m_hadSshDir) ::rmdir(m_sshDir.c_str());  // only when empty: nothing of anyone else's goes
}

std::string SshServer::address(const std::string& path) const {
    return "sftp://" + std::string(::getpwuid(::getuid())->pw_name) + "@127.0.0.1:" + std::to_string(m_port) +
           path;
}

namespace {

// A folder for a server's own files, made fresh; empty when it could not be made.
std::string privateDir(const char* kind) {
    std::string templ = std::string("/tmp/kv-") + kind + "-XXXXXX";
    return ::mkdtemp(templ.data()) ? templ : std::string();
}

// Ends a server, waiting for it.
void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(10000)) process.kill();
    process.waitForFinished(10000);
}

}  // namespace

SmbServer::SmbServer(const std::string& openRoot, const std::string& homeRoot, const std::string& password) {
    if (!QFile::exists("/usr/sbin/smbd")) {
        m_problem = "/usr/sbin/smbd is missing (Debian's package samba)";
        return;
    }
    if (::geteuid() != 0) {
        m_problem = "smbd becomes the user of each session, which only root may";
        return;
    }
    m_dir = privateDir("smbd");
    if (m_dir.empty()) return;
    for (const char* sub : {"lock", "state", "cache", "private", "pid", "log", "ncalrpc"})
        ::mkdir((m_dir + "/" + sub).c_str(), 0700);
    const std::string conf = m_dir + "/smb.conf";
    const int port = freePort();
    auto writeConf = [&](int smbPort) {
        std::ofstream(conf) << "[global]\n"
                            << "server role = standalone server\n"
                            << "smb ports = " << smbPort << "\n"
                            << "interfaces = 127.0.0.1\n"
                            << "bind interfaces only = yes\n"
                            << "lock directory = " << m_dir << "/lock\n"
                            << "state directory = " << m_dir << "/state\n"
                            << "cache directory = " << m_dir << "/cache\n"
                            << "private dir = " << m_dir << "/private\n"
                            << "binddns dir = " << m_dir << "/private\n"
                            << "pid directory = " << m_dir << "/pid\n"
                            << "ncalrpc dir = " << m_dir << "/ncalrpc\n"
                            << "usershare path = " << m_dir << "/private\n"
                            << "log file = " << m_dir << "/log/smbd.log\n"
                            << "passdb backend = tdbsam:" << m_dir << "/private/passdb.tdb\n"
                            << "map to guest = Bad User\n"
                            << "load printers = no\n"
                            << "printcap name = /dev/null\n"
                            << "disable spoolss = yes\n"
                            << "[open]\n"
                            << "path = " << openRoot << "\n"
                            << "guest ok = yes\n"
                            << "guest only = yes\n"
                            << "read only = no\n"
                            << "force user = " << user() << "\n"
                            << "[home]\n"
                            << "path = " << homeRoot << "\n"
                            << "valid users = " << user() << "\n"
                            << "read only = no\n";
    };
    writeConf(port);
    // The password, twice, as smbpasswd asks for it.
    QProcess passwd;
    passwd.start("smbpasswd",
                 {"-c", QString::fromStdString(conf), "-s", "-a", QString::fromStdString(user())});
    passwd.write(QByteArray::fromStdString(password + "\n" + password + "\n"));
    passwd.closeWriteChannel();
    if (!passwd.waitForFinished(60000) || passwd.exitCode() != 0) {
        m_problem = "smbpasswd: " + passwd.readAllStandardError().toStdString();
        return;
    }
    // A port found free may be taken before smbd binds it: another is tried then.
    for (int attempt = 0, next = port; attempt < 5; ++attempt, next = freePort()) {
        writeConf(next);
        m_smbd.setProcessChannelMode(QProcess::MergedChannels);
        m_smbd.start("/usr/sbin/smbd",
                     {"--foreground", "--debug-stdout", "-d", "1", "-s", QString::fromStdString(conf)});
        if (!m_smbd.waitForStarted(30000)) {
            m_problem = "smbd: " + m_smbd.errorString().toStdString();
            return;
        }
        if (QTest::qWaitFor([&] { return m_smbd.state() != QProcess::Running || accepts(next); }, 30000) &&
            m_smbd.state() == QProcess::Running) {
            m_port = next;
            return;
        }
        stop(m_smbd);
        m_problem = "smbd: " + m_smbd.readAll().toStdString();
    }
}

SmbServer::~SmbServer() {
    stop(m_smbd);
    if (!m_dir.empty()) QDir(QString::fromStdString(m_dir)).removeRecursively();
}

std::string SmbServer::user() const {
    return ::getpwuid(::getuid())->pw_name;
}

std::string SmbServer::address(const std::string& share, const std::string& user,
                               const std::string& path) const {
    return "smb://" + (user.empty() ? "" : user + "@") + "127.0.0.1:" + std::to_string(m_port) + "/" + share +
           path;
}

DavServer::DavServer(const std::string& root, const std::string& user, const std::string& password) {
    if (!QFile::exists("/usr/bin/rclone")) {
        m_problem = "/usr/bin/rclone is missing (Debian's package rclone)";
        return;
    }
    m_dir = privateDir("dav");
    if (m_dir.empty()) return;
    const QString dir = QString::fromStdString(m_dir);
    // Port 0: the system picks a free one, which rclone names once it listens. The tests change the
    // served folder behind its back: it reads the folders afresh each time.
    m_rclone.start("/usr/bin/rclone",
                   {"serve", "webdav", "--config", dir + "/rclone.conf", "--cache-dir", dir + "/cache",
                    "--dir-cache-time", "0s", "--addr", "127.0.0.1:0", "--user", QString::fromStdString(user),
                    "--pass", QString::fromStdString(password), QString::fromStdString(root)});
    if (!m_rclone.waitForStarted(30000)) {
        m_problem = "rclone: " + m_rclone.errorString().toStdString();
        return;
    }
    const QRegularExpression started("started on http://127\\.0\\.0\\.1:(\\d+)/");
    QByteArray said;
    const bool ended = QTest::qWaitFor(
        [&] {
            said += m_rclone.readAllStandardError();
            const auto match = started.match(QString::fromUtf8(said));
            if (match.hasMatch()) m_port = match.captured(1).toInt();
            return m_port > 0 || m_rclone.state() != QProcess::Running;
        },
        30000);
    if (m_port == 0) m_problem = "rclone: " + (ended ? said.toStdString() : "named no port in 30 s");
}

DavServer::~DavServer() {
    stop(m_rclone);
    if (!m_dir.empty()) QDir(QString::fromStdString(m_dir)).removeRecursively();
}

std::string DavServer::address(const std::string& user, const std::string& path) const {
    return "dav://" + (user.empty() ? "" : user + "@") + "127.0.0.1:" + std::to_string(m_port) + path;
}

}  // namespace kv::test
