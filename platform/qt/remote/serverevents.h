#pragma once

#include <QObject>
#include <QString>

namespace kv {

// What happens to servers that every pane showing one must hear of, wherever it was asked for.
class ServerEvents : public QObject {
    Q_OBJECT
  public:
    static ServerEvents& shared();

    // Whether a location is on the server whose root is given (as GIO or a location spells it).
    static bool isOn(const QByteArray& location, const QString& root);

  signals:
    // The server mounted at root was unmounted.
    void unmounted(const QString& root);
};

}  // namespace kv
