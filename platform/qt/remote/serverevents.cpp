#include "platform/qt/remote/serverevents.h"

#include "platform/fs/remote/remotelocation.h"

namespace kv {

ServerEvents& ServerEvents::shared() {
    static auto* events = new ServerEvents;
    return *events;
}

bool ServerEvents::isOn(const QByteArray& location, const QString& root) {
    const auto shown = RemoteLocation::parse(location.toStdString());
    const auto server = RemoteLocation::parse(root.toStdString());
    return shown && server && shown->root() == server->root();
}

}  // namespace kv
