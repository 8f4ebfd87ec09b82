#include "platform/qt/pane/panemenu.h"

#include <QAbstractItemView>
#include <algorithm>
#include <utility>

#include "platform/fs/core/background.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/pane/folderpane.h"

namespace kv {

PaneMenu::PaneMenu(const QString& heading, const QList<FolderPane*>& panes, QWidget* parent) : QMenu(parent) {
    setObjectName("paneChooser");
    setAttribute(Qt::WA_DeleteOnClose);
    addSection(heading);
    // Placed by where they are in the window, the menu's own pane among them.
    const QWidget* window = parent ? parent->window() : nullptr;
    auto rectOf = [window](const QWidget* w) {
        return window ? QRect(w->mapTo(window, QPoint(0, 0)), w->size()) : w->geometry();
    };
    QList<QRect> all;
    for (FolderPane* pane : panes) all << rectOf(pane->paneWidget());
    if (parent) all << rectOf(parent);
    int number = 0;
    for (FolderPane* pane : panes) {
        ++number;
        QString text = tr("%1: %2").arg(placeName(rectOf(pane->paneWidget()), all),
                                        NameText::shown(pane->folder().toStdString()));
        text.replace('&', "&&");
        if (number <= 9) text = QStringLiteral("&%1  %2").arg(number).arg(text);
        QAction* a = addAction(text);
        connect(a, &QAction::triggered, this, [this, pane, guard = Receiver(pane->paneWidget())] {
            if (guard.alive()) emit chosen(pane);
        });
        if (!activeAction()) setActiveAction(a);
    }
}

namespace {

// Which of the distinct positions (rows or columns) a centre is in, and how many there are; centres
// closer than `slack` are one position.
std::pair<int, int> rankOf(int centre, QList<int> centres, int slack) {
    std::sort(centres.begin(), centres.end());
    QList<int> distinct;
    for (const int c : centres)
        if (distinct.isEmpty() || c - distinct.back() > slack) distinct << c;
    int rank = 0;
    while (rank + 1 < distinct.size() && centre - distinct[rank] > slack) ++rank;
    return {rank, static_cast<int>(distinct.size())};
}

}  // namespace

QString PaneMenu::placeName(const QRect& pane, const QList<QRect>& all) {
    QList<int> xs, ys;
    int slackX = pane.width() / 2, slackY = pane.height() / 2;
    for (const QRect& r : all) {
        xs << r.center().x();
        ys << r.center().y();
        slackX = std::min(slackX, r.width() / 2);
        slackY = std::min(slackY, r.height() / 2);
    }
    const auto [column, columns] = rankOf(pane.center().x(), xs, slackX);
    const auto [row, rows] = rankOf(pane.center().y(), ys, slackY);
    // The outer positions by their side, the inner ones towards it: four columns are left, centre
    // left, centre right and right.
    auto word = [](int at, int of, const QString& first, const QString& last, const QString& nearFirst,
                   const QString& nearLast) -> QString {
        if (of < 2) return {};
        if (at == 0) return first;
        if (at == of - 1) return last;
        if (of % 2 == 1 && at == of / 2) return tr("middle");
        if (of == 4) return at == 1 ? nearFirst : nearLast;
        const int fromSide = at < of / 2 ? at + 1 : of - at;
        const QString ordinal = fromSide == 2   ? tr("second")
                                : fromSide == 3 ? tr("third")
                                                : tr("%1th").arg(fromSide);
        return tr("%1 from %2").arg(ordinal, at < of / 2 ? first : last);
    };
    const QString across =
        word(column, columns, tr("left"), tr("right"), tr("centre left"), tr("centre right"));
    const QString down = word(row, rows, tr("top"), tr("bottom"), tr("upper middle"), tr("lower middle"));
    QString place = down.isEmpty() ? across : across.isEmpty() ? down : tr("%1 %2").arg(down, across);
    if (place.isEmpty()) return tr("Pane");
    place[0] = place[0].toUpper();
    return tr("%1 pane").arg(place);
}

void PaneMenu::popupOver(QAbstractItemView* view) {
    const QRect item = view->visualRect(view->currentIndex());
    const QRect shown = view->viewport()->rect();
    const QPoint at = item.isValid() && shown.intersects(item) ? item.bottomLeft() : shown.center();
    popup(view->viewport()->mapToGlobal(at));
}

}  // namespace kv
