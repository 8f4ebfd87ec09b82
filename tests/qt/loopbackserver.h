#pragma once

#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

namespace kv::test {

// A loopback HTTP server for the web tests: fixed pages by path, and a log of every request (path
// and body) in the order they came.
class LoopbackServer : public QObject {
  public:
    struct Request {
        QByteArray path;
        QByteArray body;
    };

    LoopbackServer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { read(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    void page(const QByteArray& path, const QByteArray& body, const QByteArray& type = "text/html") {
        m_pages[path] = {type, body};
    }
    QString url(const QByteArray& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2")
            .arg(m_server.serverPort())
            .arg(QString::fromLatin1(path));
    }
    const QList<Request>& log() const { return m_log; }
    // Whether any request's path starts with prefix; with text, also whether its body holds it.
    bool received(const QByteArray& prefix, const QByteArray& text = {}) const {
        for (const Request& r : m_log)
            if (r.path.startsWith(prefix) && (text.isEmpty() || r.body.contains(text))) return true;
        return false;
    }
    bool anyBodyContains(const QByteArray& text) const {
        for (const Request& r : m_log)
            if (r.body.contains(text) || r.path.contains(text)) return true;
        return false;
    }
    int count(const QByteArray& path) const {
        int n = 0;
        for (const Request& r : m_log) n += r.path == path;
        return n;
    }

  private:
    void read(QTcpSocket* s) {
        QByteArray& buffer = m_buffers[s];
        buffer += s->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return;
        const QByteArray head = buffer.left(end);
        qsizetype length = 0;
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
        if (buffer.size() < end + 4 + length) return;
        const QByteArray path = head.split(' ').value(1);
        m_log.push_back({path, buffer.mid(end + 4, length)});
        m_buffers.remove(s);
        const QByteArray bare = path.left(path.indexOf('?') < 0 ? path.size() : path.indexOf('?'));
        const auto found = m_pages.find(bare);
        const QByteArray type = found == m_pages.end() ? "text/plain" : found->first;
        const QByteArray body = found == m_pages.end() ? QByteArray("ok") : found->second;
        s->write("HTTP/1.1 200 OK\r\nContent-Type: " + type +
                 "\r\nCache-Control: no-store\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n"
                 "Content-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    QMap<QByteArray, std::pair<QByteArray, QByteArray>> m_pages;
    QMap<QTcpSocket*, QByteArray> m_buffers;
    QList<Request> m_log;
};

}  // namespace kv::test
