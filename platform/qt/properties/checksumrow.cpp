#include "platform/qt/properties/checksumrow.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "platform/fs/core/background.h"
#include "platform/fs/core/errortext.h"

namespace kv {

namespace {

struct Sum {
    QByteArray hex;
    int error = 0;
};

// Reads the file through once; stops early when told.
Sum checksum(const QByteArray& path, QCryptographicHash::Algorithm algorithm,
             const std::shared_ptr<std::atomic<bool>>& stop) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {{}, errno};
    QCryptographicHash hash(algorithm);
    std::vector<char> buf(1 << 20);
    Sum sum;
    for (;;) {
        if (*stop) {
            sum.error = ECANCELED;
            break;
        }
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) sum.error = errno;
        if (n <= 0) break;
        hash.addData(QByteArrayView(buf.data(), n));
    }
    ::close(fd);
    if (!sum.error) sum.hex = hash.result().toHex();
    return sum;
}

}  // namespace

ChecksumRow::ChecksumRow(const QByteArray& path, QWidget* parent)
    : QWidget(parent), m_path(path), m_stop(std::make_shared<std::atomic<bool>>(false)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_sum = new QLineEdit;
    m_sum->setObjectName("checksum");
    m_sum->setReadOnly(true);
    m_sum->setPlaceholderText(tr("Worked out when asked"));
    m_sha256 = new QPushButton(tr("SHA-256"));
    m_sha256->setObjectName("sha256");
    m_md5 = new QPushButton(tr("MD5"));
    m_md5->setObjectName("md5");
    for (QPushButton* b : {m_sha256, m_md5}) b->setAutoDefault(false);
    layout->addWidget(m_sum, 1);
    layout->addWidget(m_sha256);
    layout->addWidget(m_md5);
    connect(m_sha256, &QPushButton::clicked, this,
            [this] { calculate(QCryptographicHash::Sha256, "SHA-256"); });
    connect(m_md5, &QPushButton::clicked, this, [this] { calculate(QCryptographicHash::Md5, "MD5"); });
}

ChecksumRow::~ChecksumRow() {
    *m_stop = true;
}

QString ChecksumRow::sum() const {
    return m_sum->text();
}

void ChecksumRow::calculate(int algorithm, const QString& label) {
    // One at a time: a new one stops the one running.
    *m_stop = true;
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_sum->setText(tr("Working out the %1…").arg(label));
    runInBackground(
        this,
        [path = m_path, algorithm, stop = m_stop] {
            return checksum(path, static_cast<QCryptographicHash::Algorithm>(algorithm), stop);
        },
        [this, label, stop = m_stop](const Sum& sum) {
            if (stop != m_stop) return;  // a newer one runs
            if (sum.error)
                m_sum->setText(tr("The %1 could not be worked out: %2")
                                   .arg(label, QString::fromStdString(errorText(sum.error))));
            else
                m_sum->setText(QString::fromLatin1(sum.hex));
            m_sum->setCursorPosition(0);
        });
}

}  // namespace kv
