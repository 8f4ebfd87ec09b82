#pragma once

#include <QDialog>
#include <QString>

#include "platform/fs/archives/compressjob.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kv {

// "Compress…": the new archive's name and format in one question. The name is checked as it is
// typed (a name, not a path); the format's extension is added to it.
class CompressDialog : public QDialog {
    Q_OBJECT
  public:
    CompressDialog(const QString& suggestedName, QWidget* parent = nullptr);

    // The file name with its extension ("photos.tar.zst").
    QString fileName() const;
    ArchiveFormat format() const;

  private:
    void validate();

    QLineEdit* m_name;
    QComboBox* m_format;
    QPushButton* m_ok;
};

}  // namespace kv
