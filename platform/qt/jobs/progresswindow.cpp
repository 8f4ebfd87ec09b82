#include "platform/qt/jobs/progresswindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "platform/qt/common/nametext.h"
#include "platform/qt/common/sizetext.h"

namespace kv {

namespace {

constexpr qint64 kSpeedWindowMs = 3000;

}  // namespace

ProgressWindow::ProgressWindow(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* head = new QLabel(title);
    head->setTextFormat(Qt::PlainText);
    head->setWordWrap(true);
    layout->addWidget(head);
    m_current = new QLabel;
    m_current->setTextFormat(Qt::PlainText);
    m_current->setMinimumWidth(380);
    layout->addWidget(m_current);
    m_bar = new QProgressBar;
    m_bar->setRange(0, 0);
    layout->addWidget(m_bar);
    m_items = new QLabel;
    m_items->setObjectName("items");
    m_bytes = new QLabel;
    m_bytes->setObjectName("bytes");
    m_speed = new QLabel;
    m_speed->setObjectName("speed");
    for (QLabel* l : {m_items, m_bytes, m_speed}) layout->addWidget(l);
    m_waiting = new QLabel(tr("Waiting for your answer to a question…"));
    m_waiting->setObjectName("waiting");
    QFont bold = m_waiting->font();
    bold.setBold(true);
    m_waiting->setFont(bold);
    m_waiting->hide();
    layout->addWidget(m_waiting);
    auto* row = new QHBoxLayout;
    row->addStretch();
    m_pause = new QPushButton(tr("Pause"));
    m_pause->setObjectName("pause");
    m_cancel = new QPushButton(tr("Cancel"));
    m_cancel->setObjectName("cancel");
    row->addWidget(m_pause);
    row->addWidget(m_cancel);
    layout->addLayout(row);
    connect(m_pause, &QPushButton::clicked, this, [this] {
        m_paused = !m_paused;
        m_pause->setText(m_paused ? tr("Resume") : tr("Pause"));
        emit pauseRequested(m_paused);
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancel->setEnabled(false);
        m_pause->setEnabled(false);
        emit cancelRequested();
    });
    m_clock.start();
}

void ProgressWindow::setWaiting(bool waiting) {
    m_waiting->setVisible(waiting);
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    emit cancelRequested();
    event->accept();
}

QString ProgressWindow::timeLeftText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return {};
    if (seconds < 60) return tr("%1 s left").arg(std::max(1, static_cast<int>(std::ceil(seconds))));
    if (seconds < 3600) return tr("%1 min left").arg(static_cast<int>(std::ceil(seconds / 60)));
    const int minutes = static_cast<int>(std::ceil(seconds / 60));
    return tr("%1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

double ProgressWindow::bytesPerSecond() const {
    if (m_samples.size() < 2) return 0;
    const auto& [t0, b0] = m_samples.front();
    const auto& [t1, b1] = m_samples.back();
    if (t1 <= t0 || b1 < b0) return 0;
    return static_cast<double>(b1 - b0) * 1000.0 / static_cast<double>(t1 - t0);
}

void ProgressWindow::update(const JobProgress& p) {
    const qint64 now = m_clock.elapsed();
    if (!p.paused) {
        m_samples.emplace_back(now, p.bytesDone);
        while (m_samples.size() > 2 && now - m_samples.front().first > kSpeedWindowMs) m_samples.pop_front();
    } else {
        m_samples.clear();  // a pause would otherwise read as a slow copy
    }
    m_current->setText(p.current.empty() ? QString() : NameText::shown(p.current));
    if (!p.totalsKnown) {
        m_bar->setRange(0, 0);
        m_items->setText(tr("Counting items…"));
        m_bytes->clear();
        m_speed->clear();
        return;
    }
    m_items->setText(tr("%1 of %2 items").arg(p.itemsDone).arg(p.itemsTotal));
    if (p.bytesTotal > 0) {
        m_bar->setRange(0, 1000);
        m_bar->setValue(static_cast<int>(1000.0 * static_cast<double>(std::min(p.bytesDone, p.bytesTotal)) /
                                         static_cast<double>(p.bytesTotal)));
        m_bytes->setText(tr("%1 of %2").arg(sizeText(p.bytesDone), sizeText(p.bytesTotal)));
    } else {
        m_bar->setRange(0, static_cast<int>(std::max<std::uint64_t>(p.itemsTotal, 1)));
        m_bar->setValue(static_cast<int>(p.itemsDone));
        m_bytes->clear();
    }
    if (p.paused) {
        m_speed->setText(tr("Paused"));
        return;
    }
    const double speed = bytesPerSecond();
    if (speed > 0 && p.bytesTotal > p.bytesDone) {
        m_speed->setText(tr("%1/s — %2")
                             .arg(sizeText(static_cast<std::uint64_t>(speed)),
                                  timeLeftText(static_cast<double>(p.bytesTotal - p.bytesDone) / speed)));
    } else if (speed > 0) {
        m_speed->setText(tr("%1/s").arg(sizeText(static_cast<std::uint64_t>(speed))));
    }
}

}  // namespace kv
