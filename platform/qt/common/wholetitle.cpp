#include "platform/qt/common/wholetitle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <algorithm>

namespace kv::WholeTitle {

int widthFor(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // An icon and three buttons (close, maximise, iconify) at about a line's height each, and margins.
    return metrics.horizontalAdvance(title) + 7 * metrics.height();
}

void fit(QMessageBox* box) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return;
    const QScreen* screen = box->screen() ? box->screen() : QGuiApplication::primaryScreen();
    const int width = std::min(widthFor(box->windowTitle()), screen->availableGeometry().width() * 9 / 10);
    // The box sizes itself from its layout whenever its texts change: a row of that width holds it open.
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

}  // namespace kv::WholeTitle
