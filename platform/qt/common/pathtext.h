#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

// What the jobs, menus and windows say of paths, said the same way everywhere.
namespace kv::pathtext {

// The last component of a path ("/a/b/" gives "b"), shown on one line as names are.
QString nameOf(const QByteArray& path);
QString nameOf(std::string_view path);
// “name” for one path, "N items" for more.
QString countText(const QList<QByteArray>& paths);
// The paths in the file engine's form.
std::vector<std::string> toStd(const QList<QByteArray>& paths);
// The path with runs of slashes made one and no slash at the end ("/" stays).
QByteArray normalized(const QByteArray& path);
// The last component of a path, as bytes ("/a/b/" gives "b").
QByteArray baseName(const QByteArray& path);
// The folder a path is in: "/a/b/" gives "/a", "/a" gives "/", "b" gives ".".
QByteArray parentOf(const QByteArray& path);
// Whether the path is a folder, through links.
bool isDirectory(const QByteArray& path);
// The path when it is a folder, else the nearest folder above it that is ("/" at worst). Touches the
// disk: off the UI thread.
QByteArray nearestFolder(const QByteArray& path);

}  // namespace kv::pathtext
