#include "platform/fs/thumbnails/thumbnailers.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace kv {

namespace {

bool runnable(const QString& program) {
    if (program.isEmpty()) return false;
    if (program.contains(QLatin1Char('/')))
        return ::access(QFile::encodeName(program).constData(), X_OK) == 0;
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Words of an Exec line, before field codes are replaced; a quoted word stays one.
QStringList words(const QString& exec) {
    QStringList out;
    QString word;
    bool quoted = false, inWord = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                word += exec[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inWord = true;
        } else if (c.isSpace()) {
            if (inWord) out << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) out << word;
    return out;
}

}  // namespace

QStringList Thumbnailers::defaultFolders() {
    QStringList folders;
    QString home = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    folders << home + QStringLiteral("/thumbnailers");
    QString dirs = QString::fromLocal8Bit(qgetenv("XDG_DATA_DIRS"));
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& d : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(d)) folders << d + QStringLiteral("/thumbnailers");
    return folders;
}

Thumbnailers::Thumbnailers(QStringList folders) {
    for (const QString& folder : folders) {
        const QDir dir(folder);
        const QStringList files = dir.entryList({QStringLiteral("*.thumbnailer")}, QDir::Files, QDir::Name);
        for (const QString& name : files) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            const Entry e = parse(f.read(64 * 1024));
            if (e.exec.isEmpty()) continue;
            const QStringList argv = words(e.exec);
            if (argv.isEmpty() || !runnable(argv.front())) continue;
            if (!e.tryExec.isEmpty() && !runnable(e.tryExec)) continue;
            for (const QString& mime : e.mimeTypes)
                if (!m_execByMime.contains(mime)) m_execByMime.insert(mime, e.exec);
        }
    }
}

Thumbnailers::Entry Thumbnailers::parse(const QByteArray& text) {
    Entry e;
    bool inGroup = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            inGroup = line == "[Thumbnailer Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inGroup || eq < 0) continue;
        const QByteArray key = line.left(eq).trimmed();
        const QString value = QString::fromUtf8(line.mid(eq + 1).trimmed());
        if (key == "Exec")
            e.exec = value;
        else if (key == "TryExec")
            e.tryExec = value;
        else if (key == "MimeType")
            e.mimeTypes = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    if (e.mimeTypes.isEmpty()) e.exec.clear();
    return e;
}

std::vector<std::string> Thumbnailers::expand(const QString& exec, const std::string& path,
                                              const std::string& uri, const std::string& output, int size) {
    std::vector<std::string> argv;
    for (const QString& word : words(exec)) {
        // Arguments are bytes: a path that is not UTF-8 must reach the program unchanged.
        const QByteArray w = word.toUtf8();
        std::string arg;
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w[i] != '%' || i + 1 == w.size()) {
                arg.push_back(w[i]);
                continue;
            }
            switch (w[++i]) {
                case 'u':
                    arg += uri;
                    break;
                case 'i':
                    arg += path;
                    break;
                case 'o':
                    arg += output;
                    break;
                case 's':
                    arg += std::to_string(size);
                    break;
                case '%':
                    arg.push_back('%');
                    break;
                default:
                    break;  // an unknown code stands for nothing
            }
        }
        argv.push_back(std::move(arg));
    }
    return argv;
}

std::vector<std::string> Thumbnailers::command(const QString& mime, const std::string& path,
                                               const std::string& uri, const std::string& output,
                                               int size) const {
    const auto it = m_execByMime.constFind(mime);
    if (it == m_execByMime.constEnd()) return {};
    return expand(*it, path, uri, output, size);
}

}  // namespace kv
