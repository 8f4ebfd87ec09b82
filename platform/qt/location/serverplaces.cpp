// The places menu's servers: the mounted ones, Connect to Server… and the recent ones.
#include <QStyle>

#include "platform/fs/core/background.h"
#include "platform/qt/common/standardicons.h"
#include "platform/qt/location/placesmenu.h"
#include "platform/qt/remote/connectdialog.h"
#include "platform/qt/remote/recentservers.h"
#include "platform/qt/remote/serverevents.h"

namespace kv {

void PlacesMenu::reloadMounted() {
    const int generation = ++m_mountedGeneration;
    remotemounts::list(
        [receiver = Receiver(this), this, generation](std::vector<remotemounts::Mounted> found) {
            receiver.post([this, generation, found = std::move(found)] {
                if (generation != m_mountedGeneration || found == m_mounted) return;
                m_mounted = found;
                rebuild();
            });
        });
}

void PlacesMenu::addMounted() {
    const QIcon icon = StandardIcons::themed("folder-remote", QStyle::SP_DriveNetIcon);
    for (const remotemounts::Mounted& m : m_mounted) {
        const QString uri = QString::fromStdString(m.uri);
        QMenu* place = addMenu(icon, QString::fromStdString(m.name));
        place->setObjectName("mountedPlace");
        place->menuAction()->setData(uri);
        place->menuAction()->setToolTip(uri);
        place->addAction(tr("Open"), this, [this, uri] { emit locationChosen(uri); })->setObjectName("open");
        place->addAction(tr("Unmount"), this, [this, uri] { unmount(uri); })->setObjectName("unmount");
    }
}

void PlacesMenu::addServers() {
    QMenu* servers = addMenu(tr("Servers"));
    servers->setObjectName("serversMenu");
    const QIcon icon = StandardIcons::themed("network-server", QStyle::SP_DriveNetIcon);
    for (const QString& address : RecentServers::shared().servers()) {
        QAction* a = servers->addAction(icon, address);
        a->setData(address);
        connect(a, &QAction::triggered, this, [this, address] { emit locationChosen(address); });
    }
    servers->setEnabled(!servers->isEmpty());
}

void PlacesMenu::connectToServer() {
    close();
    auto* dialog = new ConnectDialog(RecentServers::shared().servers(), parentWidget());
    // A window of its own beside the pane's, which stays usable meanwhile.
    dialog->setWindowFlag(Qt::Dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &ConnectDialog::connectTo, this, &PlacesMenu::locationChosen);
    dialog->show();
}

void PlacesMenu::unmount(const QString& uri) {
    remotemounts::unmount(uri.toStdString(), [receiver = Receiver(this), this, uri](std::string error) {
        receiver.post([this, uri, error] {
            if (!error.empty())
                emit unmountFailed(tr("%1 was not unmounted: %2").arg(uri, QString::fromStdString(error)));
            else
                emit ServerEvents::shared().unmounted(uri);
            reloadMounted();
        });
    });
}

}  // namespace kv
