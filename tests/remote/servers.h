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

}  // namespace kv::test
