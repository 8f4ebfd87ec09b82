#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <map>

#include "platform/qt/tabs/tabstate.h"

namespace kv {

// The panes' tabs as the program left them: a JSON file of the program's own (session.json beside
// the preferences), written whole and atomically. Each pane is named by its window's and its own
// object names ("window/pane"). A file that cannot be read as a session is kept aside (".damaged")
// and nothing is restored from it.
class SessionFile {
  public:
    struct Pane {
        QList<TabState> tabs;
        int current = 0;
    };
    using Panes = std::map<QString, Pane>;

    // session.json in the folder of the preferences file.
    static QString defaultPath();

    // What the file holds; empty when it is missing or damaged (the damaged file is moved aside).
    static Panes read(const QString& path);
    static bool write(const QString& path, const Panes& panes);

    // A tab's history as the file keeps it: each step's folder or address and the item current in it
    // (a search's results come back as the folder searched).
    static QJsonObject toJson(const TabState& tab);
    static TabState fromJson(const QJsonObject& object);
};

}  // namespace kv
