#pragma once

#include <QObject>
#include <QString>

namespace kv {

// The user's choices for the file manager inside the browser views, in a file of the program's own
// (preferences.json in the program's folder under the XDG config folder, written whole and atomically
// on each change). A file that cannot be read as preferences is kept aside (".damaged") and the
// defaults used; every default is what the program does without the file.
class Preferences : public QObject {
    Q_OBJECT
  public:
    enum class Keys { Desktop, Commander };
    enum class ViewMode { Icons, List, Details };

    // The program's preferences, read the first time they are asked for.
    static Preferences& shared();
    // Reads the file at path (for tests, and shared()'s first use).
    explicit Preferences(QString path, QObject* parent = nullptr);

    Keys keys() const { return m_keys; }
    bool showHidden() const { return m_showHidden; }
    ViewMode viewMode() const { return m_viewMode; }
    // A single click opens an item (as a double click does by default).
    bool singleClick() const { return m_singleClick; }
    // Dates of today and yesterday as "Today 14:02" and "Yesterday 14:02".
    bool relativeDates() const { return m_relativeDates; }
    // The panes' tabs come back at the next start as they were left (off: each pane starts where the
    // window puts it).
    bool restoreTabs() const { return m_restoreTabs; }

    void setKeys(Keys keys);
    void setShowHidden(bool show);
    void setViewMode(ViewMode mode);
    void setSingleClick(bool single);
    void setRelativeDates(bool relative);
    void setRestoreTabs(bool restore);

    const QString& path() const { return m_path; }

  signals:
    void changed();

  private:
    void load();
    void save();
    void set(bool& field, bool value);

    QString m_path;
    Keys m_keys = Keys::Desktop;
    bool m_showHidden = false;
    ViewMode m_viewMode = ViewMode::Details;
    bool m_singleClick = false;
    bool m_relativeDates = false;
    bool m_restoreTabs = false;
};

}  // namespace kv
