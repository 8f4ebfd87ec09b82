#pragma once

#include <QWidget>
#include <atomic>
#include <memory>

class QLineEdit;
class QPushButton;

namespace kv {

// A file's checksums on demand: a button for SHA-256 and one for MD5; the sum is worked out on a
// thread of its own (a file can be gigabytes, or on a slow volume) and shown selectable. Closing the
// dialog stops the work.
class ChecksumRow : public QWidget {
    Q_OBJECT
  public:
    explicit ChecksumRow(const QByteArray& path, QWidget* parent = nullptr);
    ~ChecksumRow() override;

    QString sum() const;

  private:
    void calculate(int algorithm, const QString& label);

    QByteArray m_path;
    QLineEdit* m_sum;
    QPushButton* m_sha256;
    QPushButton* m_md5;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

}  // namespace kv
