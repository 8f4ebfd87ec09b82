#include "platform/qt/common/jsonfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace kv::jsonfile {

std::optional<QJsonObject> read(const QString& path, qint64 maxBytes, bool* damaged) {
    if (damaged) *damaged = false;
    QFile file(path);
    const QFileInfo info(path);
    if (!info.exists()) return std::nullopt;
    QJsonDocument doc;
    if (info.isFile() && info.size() <= maxBytes && file.open(QIODevice::ReadOnly))
        doc = QJsonDocument::fromJson(file.read(maxBytes));
    if (!doc.isObject()) {
        if (damaged) *damaged = true;
        return std::nullopt;
    }
    return doc.object();
}

void setAside(const QString& path) {
    QFile::remove(path + ".damaged");
    QFile::rename(path, path + ".damaged");
}

bool write(const QString& path, const QJsonObject& object, bool compact) {
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QJsonDocument(object).toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented));
    return file.commit();
}

}  // namespace kv::jsonfile
