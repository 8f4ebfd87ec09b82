#include "platform/qt/folderview/serverplace.h"

#include <cerrno>

#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/remote/mountpanel.h"
#include "platform/qt/remote/recentservers.h"
#include "platform/qt/remote/serverevents.h"

namespace kv {

ServerPlace::ServerPlace(QWidget* view, FolderModel* model)
    : QObject(view), m_model(model), m_panel(new MountPanel(view)) {
    m_model->setMountAsker(m_panel->asker());
    // A server unmounted (from any pane's places) takes its folders away.
    connect(&ServerEvents::shared(), &ServerEvents::unmounted, this, [this](const QString& root) {
        if (m_model->isRemote() && ServerEvents::isOn(m_model->folder(), root)) emit disconnected(root);
    });
}

QWidget* ServerPlace::panel() const {
    return m_panel;
}

void ServerPlace::leaving() {
    m_panel->withdraw();
}

bool ServerPlace::listed(int error, const QString& message) {
    if (!m_model->isRemote()) return false;
    if (error == ECANCELED && message.isEmpty()) {
        emit cancelled();
        return true;
    }
    // A server that listed is offered again in the places menu.
    if (error == 0) RecentServers::shared().visited(QString::fromUtf8(m_model->folder()));
    return false;
}

}  // namespace kv
