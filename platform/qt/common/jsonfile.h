#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// The small JSON files of the program's own (preferences, the session, the recent servers): read with a
// limit, written whole and atomically.
namespace kv::jsonfile {

// What the file holds: nothing when it is missing; an empty optional with damaged set when it is there
// but is no JSON object of at most maxBytes in a regular file.
std::optional<QJsonObject> read(const QString& path, qint64 maxBytes, bool* damaged = nullptr);
// Moves a damaged file aside (path + ".damaged", replacing an older one), kept for whoever wants to look.
void setAside(const QString& path);
// Writes the object in place of the file, its folder made first; false when it could not.
bool write(const QString& path, const QJsonObject& object, bool compact = false);

}  // namespace kv::jsonfile
