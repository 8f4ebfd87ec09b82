#include "platform/qt/folderview/serverplace.h"

#include <QDir>
#include <QFile>
#include <cerrno>

#include "platform/qt/folderview/folderview.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/remote/mountpanel.h"
#include "platform/qt/remote/recentservers.h"
#include "platform/qt/remote/serverevents.h"

namespace kv {

ServerPlace::ServerPlace(FolderView& view, FolderModel* model)
    : QObject(&view), m_view(view), m_model(model), m_panel(new MountPanel(&view)) {
    m_model->setMountAsker(m_panel->asker());
    // A server unmounted (from any pane's places) takes its folders away: the view goes home and says so.
    connect(&ServerEvents::shared(), &ServerEvents::unmounted, this, [this](const QString& root) {
        if (!m_model->isRemote() || !ServerEvents::isOn(m_view.folder(), root)) return;
        emit m_view.folderRequested(QFile::encodeName(QDir::homePath()));
        m_view.showBanner(FolderView::tr("“%1” was disconnected; showing the home folder.").arg(root));
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
