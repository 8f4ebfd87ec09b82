#pragma once

#include <QObject>

namespace kv {

class FolderModel;

// Keeps a folder model told which of its items are cut to the clipboard (Ctrl+X), so they are drawn
// dimmed until they are pasted or the clipboard holds something else.
class CutMarks : public QObject {
    Q_OBJECT
  public:
    explicit CutMarks(FolderModel* model);

    void update();

  private:
    FolderModel* m_model;
};

}  // namespace kv
