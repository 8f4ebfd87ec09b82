#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QWidget;

namespace kv {

// Opens files in the desktop's applications: each with its type's default (Applications), found and
// started off the UI thread. A file no application is set for gets a message that offers Open With,
// and a failed start says why: opening never fails silently.
class FileOpener {
  public:
    static void open(const QList<QByteArray>& paths, QWidget* origin);
    // The Open With dialog for the files, over origin's window.
    static void openWith(const QList<QByteArray>& paths, QWidget* origin);
    // "No application is set to open “a.xyz” (XYZ document)."
    static QString noApplicationText(const QString& name, const QString& type, int more = 0);
};

}  // namespace kv
