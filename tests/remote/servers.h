#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>
#include <string>

namespace kv::test {

// An FTP server (pyftpdlib) on 127.0.0.1 at a free port, serving root to the given users (name:
// password), for as long as this lives.
class FtpServer {
  public:
    FtpServer(const std::string& root, const std::map<std::string, std::string>& users);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    bool running() const { return m_port > 0; }
    // "ftp://user@127.0.0.1:port" + path.
    std::string address(const std::string& user, const std::string& path = "/") const;

  private:
    QProcess m_process;
    int m_port = 0;
};

// OpenSSH's sshd on 127.0.0.1 at a free port, with a host key of its own, letting in the user running
// the test with a key of its own, which is given to the ssh agent private-session.sh started (GVfs's
// sftp back end runs ssh, which asks the agent). ssh keeps the host keys it was told to trust in the
// real home's known_hosts, whatever HOME says: what it added for this server is taken out again at the
// end, and a file or folder that was not there before goes again.
class SshServer {
  public:
    SshServer();
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    bool running() const { return m_port > 0; }
    // Why it is not running.
    const std::string& problem() const { return m_problem; }
    // "sftp://user@127.0.0.1:port" + path.
    std::string address(const std::string& path = "/") const;
    // Kills the sessions of the connected clients at once, as a server that dies does; sshd itself
    // stays (sshd forks a process, and that one a few more, per connection).
    void dropSessions();

  private:
    bool run(const QString& program, const QStringList& args);
    void forgetHostKey();

    std::string m_dir;
    QProcess m_sshd;
    int m_port = 0;
    std::string m_problem;
    std::string m_hostKey;  // the public key's base64, as known_hosts holds it
    std::string m_sshDir;
    bool m_hadSshDir = false;
    bool m_hadKnownHosts = false;
    bool m_madeRunDir = false;
};

// Samba's smbd on 127.0.0.1 at a free port, everything it writes (locks, state, passwords, logs) in a
// folder of its own, with two shares: "open", for guests, serving openRoot, and "home", serving
// homeRoot to the user running the test with the password given. smbd becomes the user of each session,
// which only root may: run by anyone else, it does not start and problem() says why.
class SmbServer {
  public:
    SmbServer(const std::string& openRoot, const std::string& homeRoot, const std::string& password);
    ~SmbServer();
    SmbServer(const SmbServer&) = delete;
    SmbServer& operator=(const SmbServer&) = delete;

    bool running() const { return m_port > 0; }
    const std::string& problem() const { return m_problem; }
    // The user of "home".
    std::string user() const;
    // "smb://127.0.0.1:port/" + share + path, with "user@" before the host when one is given.
    std::string address(const std::string& share, const std::string& user,
                        const std::string& path = "") const;

  private:
    std::string m_dir;
    QProcess m_smbd;
    int m_port = 0;
    std::string m_problem;
};

// A WebDAV server (rclone's) on 127.0.0.1 at a free port, serving root to one user with a password.
class DavServer {
  public:
    DavServer(const std::string& root, const std::string& user, const std::string& password);
    ~DavServer();
    DavServer(const DavServer&) = delete;
    DavServer& operator=(const DavServer&) = delete;

    bool running() const { return m_port > 0; }
    const std::string& problem() const { return m_problem; }
    // "dav://user@127.0.0.1:port" + path ("/" for the root), without the user when it is empty.
    std::string address(const std::string& user, const std::string& path = "/") const;

  private:
    std::string m_dir;
    QProcess m_rclone;
    int m_port = 0;
    std::string m_problem;
};

}  // namespace kv::test
