#pragma once

#include <QDialog>

#include "platform/fs/jobs/clashrequest.h"

class QCheckBox;

namespace kv {

// Asks what to do when a name is taken, showing both items' size and date so the user can tell which
// one to keep. Never modal: the job waits for the answer, the windows do not.
class ClashDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ClashDialog(const ClashRequest& request, QWidget* parent = nullptr);

    // One line about an item: "12.3 KB, modified 3/4/25 10:12".
    static QString describeItem(bool isDir, std::uint64_t size, std::int64_t mtimeNs);

  signals:
    // Emitted once; closing the dialog answers Cancel.
    void answered(kv::ClashDecision decision);

  private:
    void answer(ClashChoice choice);

    QCheckBox* m_applyToAll;
    bool m_answered = false;
};

}  // namespace kv
