// A page's script dialogs are panels over that page: the rest of the window stays usable while one
// shows, and a page that shows them in a loop can be stopped from the second one on.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include "filemanager_support.h"
#include "loopbackserver.h"
#include "platform/qt/browser/browserview.h"

namespace kv::test {
namespace {

// alert, confirm, prompt, then alerts in a loop that only stopping the page's dialogs ends early.
const QByteArray kDialogs = R"(<html><head><title>dialogs</title></head><body><script>
setTimeout(() => {
  alert('one');
  const sure = confirm('two');
  const said = prompt('three', 'abc');
  let n = 0;
  for (let i = 0; i < 200; ++i) { alert('loop ' + i); ++n; }
  document.title = 'done ' + sure + ' ' + said + ' ' + n;
}, 300);
</script></body></html>)";

TEST(PageDialogs, BlockOnlyTheirPageAndCanBeStopped) {
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") GTEST_SKIP() << "the web engine needs a display";
    LoopbackServer server;
    server.page("/dialogs", kDialogs);
    ViewFixture fixture;
    QWidget window;
    window.resize(900, 600);
    auto* web = new BrowserView(*fixture.services, &window);
    web->setGeometry(0, 0, 900, 500);
    auto* other = new QPushButton("other", &window);
    other->setGeometry(0, 520, 100, 30);
    int otherClicks = 0;
    QObject::connect(other, &QPushButton::clicked, [&] { ++otherClicks; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Answers each panel as it shows, from inside the loop that waits for it.
    struct Seen {
        QString message;
        bool offeredStop = false;
        bool modal = false;
    };
    QList<Seen> seen;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* panel = web->webView()->findChild<QFrame*>("pageDialog");
        if (!panel || !panel->isVisible()) return;
        const QString message = panel->findChild<QLabel*>("pageDialogMessage")->text();
        if (!seen.isEmpty() && seen.back().message == message) return;  // answered, not yet gone
        auto* stop = panel->findChild<QCheckBox*>("pageDialogStop");
        seen.append({message, stop != nullptr, QApplication::activeModalWidget() != nullptr});
        if (message == "one") QTest::mouseClick(other, Qt::LeftButton);
        if (message == "three") panel->findChild<QLineEdit*>("pageDialogInput")->setText("xyz");
        if (message == "loop 1") stop->setChecked(true);
        auto* buttons = panel->findChild<QDialogButtonBox*>();
        buttons->button(message == "two" ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)->click();
    });
    answerer.start(20);
    web->navigate(server.url("/dialogs"));
    EXPECT_TRUE(waitFor([&] { return web->locationName() == "done false xyz 200"; }, 30000))
        << web->locationName().toStdString();

    ASSERT_EQ(seen.size(), 5) << "one, two, three, loop 0, loop 1; the rest were stopped";
    EXPECT_FALSE(seen[0].offeredStop) << "the first dialog does not offer to stop them";
    EXPECT_TRUE(seen[1].offeredStop);
    for (const Seen& s : seen) EXPECT_FALSE(s.modal) << s.message.toStdString();
    EXPECT_EQ(otherClicks, 1) << "the rest of the window answered while the page waited";
}

}  // namespace
}  // namespace kv::test
