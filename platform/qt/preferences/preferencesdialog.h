#pragma once

#include <QDialog>

namespace kv {

class Preferences;

// The file manager's preferences (Ctrl+,): the keys (the desktop's, or a commander's function keys),
// whether hidden files show in a new view, and a new view's mode. A choice takes effect at once.
class PreferencesDialog : public QDialog {
    Q_OBJECT
  public:
    explicit PreferencesDialog(Preferences& prefs, QWidget* parent = nullptr);
};

}  // namespace kv
