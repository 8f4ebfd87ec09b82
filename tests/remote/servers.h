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

}  // namespace kv::test
