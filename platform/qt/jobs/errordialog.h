#pragma once

#include <QDialog>

#include "platform/fs/jobs/errorrequest.h"

class QCheckBox;

namespace kv {

// Tells that one item failed and asks whether to retry it, skip it or stop the job. Never modal.
class ErrorDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ErrorDialog(const ErrorRequest& request, QWidget* parent = nullptr);

  signals:
    // Emitted once; closing the dialog answers Cancel.
    void answered(kv::ErrorDecision decision);

  private:
    void answer(ErrorChoice choice);

    QCheckBox* m_skipAll;
    bool m_answered = false;
};

}  // namespace kv
