#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QStringList>

#include "platform/qt/desktop/applications.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace kv {

// Picks the application that opens one or more files (of one type, or the applications that take
// every type chosen): the type's default first, then the others the desktop offers for it; "Show all
// applications" lists every one. "Set as default" makes the choice the type's default in the user's
// mimeapps.list. Lists and starts off the UI thread; a window of its own, never modal.
class OpenWithDialog : public QDialog {
    Q_OBJECT
  public:
    explicit OpenWithDialog(const QList<QByteArray>& paths, QWidget* parent = nullptr);

    // For tests: whether the list has arrived, the ids listed in order, the types of the files.
    bool isLoaded() const { return m_loaded; }
    QStringList listedIds() const;
    const QStringList& mimeTypes() const { return m_types; }
    // Chooses the listed application (false when it is not listed) and whether it becomes the default.
    bool choose(const QString& appId, bool setAsDefault = false);

  signals:
    // The application started (or, when it could not, the dialog said why and stayed open).
    void launched(const QString& appId);

  private:
    struct Listing {
        QStringList types;
        QList<Applications::App> apps;
    };
    void load(bool everything);
    void fill(const Listing& listing);
    void accept() override;

    QList<QByteArray> m_paths;
    QStringList m_types;
    QLabel* m_what;
    QListWidget* m_list;
    QCheckBox* m_default;
    QCheckBox* m_all;
    QPushButton* m_open;
    bool m_loaded = false;
    bool m_busy = false;
};

}  // namespace kv
