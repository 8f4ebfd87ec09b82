#include "remote/servers.h"

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

}  // namespace kv::test
