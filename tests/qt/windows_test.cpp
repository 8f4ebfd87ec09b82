#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWebEngineView>

#include "platform/fs/drives/mounts.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/forms/drivelist.h"
#include "qtprogram.h"
#include "resources/windowrecords.h"

namespace kv::test {
namespace {

int px(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

TEST_F(QtProgramTest, EveryWindowBuildsFromItsRecord) {
    program().start();
    for (const WindowRecord& r : windowRecords()) {
        Form& form = forms()[r.name];
        QWidget* w = window(r.name);
        ASSERT_NE(w, nullptr) << r.name;
        EXPECT_EQ(w->windowTitle().toStdString(), r.caption);
        EXPECT_EQ(bool(w->windowFlags() & Qt::FramelessWindowHint), r.border == Border::None) << r.name;
        for (const ControlRecord& c : r.controls) {
            QWidget* cw = frontend().widgetOf(form[c.name]);
            ASSERT_NE(cw, nullptr) << r.name << "." << c.name;
            const std::string where = r.name + "." + c.name;
            EXPECT_EQ(cw->toolTip().toStdString(), c.toolTip.value_or("")) << where;
            // The view windows size their panes and drive lists at load; labels, and every control of the
            // small windows, keep their design place.
            if (r.name == "Eula" || r.name == "Whats" || r.name == "Help" || c.kind == ControlKind::Label) {
                EXPECT_EQ(cw->x(), px(c.left)) << where;
                EXPECT_EQ(cw->y(), px(c.top)) << where;
            }
            if (auto* label = qobject_cast<QLabel*>(cw); label && c.kind == ControlKind::Label) {
                EXPECT_EQ(label->text().toStdString(), c.caption) << where;
            }
            if (auto* button = qobject_cast<QAbstractButton*>(cw)) {
                EXPECT_EQ(button->text().toStdString(), c.caption);
            }
            const bool captioned = c.kind == ControlKind::Label || c.kind == ControlKind::CommandButton ||
                                   c.kind == ControlKind::OptionButton;
            EXPECT_EQ(cw->accessibleName().toStdString(), captioned ? c.caption : c.name) << where;
            EXPECT_EQ(cw->isHidden(), !c.visible) << where;
            EXPECT_EQ(cw->isEnabled(), c.enabled) << where;
        }
    }
    EXPECT_TRUE(widget("Form1", "Label7")->isHidden());
    EXPECT_FALSE(widget("Eula", "Command1")->isEnabled());
    EXPECT_EQ(widget<QLabel>("dublpanl", "Label1")->text(), "Go Back");
    EXPECT_EQ(widget<QLabel>("Form1", "Label6")->text(), "  2 PanelView");
    EXPECT_TRUE(widget<QLabel>("dublpanl", "Label1")->font().bold());
    EXPECT_FALSE(widget<QComboBox>("dublpanl", "lftbox")->font().bold());
    EXPECT_EQ(widget<QLabel>("Form1", "Image5")->pixmap().size(), QSize(25, 25));
    EXPECT_EQ(widget<QLabel>("Form1", "Image3")->pixmap().size(), QSize(23, 20));
}

TEST_F(QtProgramTest, DrivePaneListsTheDriveAndGoBackReturnsToItsTop) {
    QDir(home()).mkpath("inner/deeper");
    for (const char* name : {"a.txt", "b.png", "c.tar.gz"}) {
        QFile f(home() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    program().start();
    auto* hard = widget<BrowserView>("Form1", "Hard");
    auto* list = widget<DriveList>("Form1", "Hardbox");
    ASSERT_TRUE(hard && list);
    EXPECT_TRUE(list->drive().startsWith(home() + " ["));  // a new list selects the home folder
    FolderModel* model = hard->folderView()->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isLoading(); }, 15000));
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->data(model->index(row, 0), Qt::DisplayRole).toString();
    EXPECT_EQ(names, (QStringList{"inner", "a.txt", "b.png", "c.tar.gz"}));  // folders first, by name

    // Open the folder inside the view, then one click on "Go back".
    QTreeView* tree = qobject_cast<QTreeView*>(hard->folderView()->currentView());
    ASSERT_NE(tree, nullptr);
    emit tree->activated(model->index(0, 0));
    EXPECT_EQ(hard->folderView()->folder(), (home() + "/inner").toUtf8());
    EXPECT_EQ(hard->locationName(), "inner");
    QTest::mouseClick(widget("Form1", "Label1"), Qt::LeftButton);
    EXPECT_EQ(hard->folderView()->folder(), home().toUtf8());

    // The other pane was never touched.
    EXPECT_EQ(widget<BrowserView>("Form1", "floppy")->folderView()->folder(), home().toUtf8());

    // Picking another drive lists it.
    if (list->count() > 1) {
        list->setCurrentIndex(1);
        emit list->activated(1);
        EXPECT_EQ(hard->folderView()->folder().toStdString(),
                  Mounts::rootOf(list->itemText(1).toStdString()));
    }
}

TEST_F(QtProgramTest, AFolderThatCannotBeListedSaysSoInTheView) {
    program().start();
    auto* hard = widget<BrowserView>("Form1", "Hard");
    hard->navigate(home() + "/no such folder");
    FolderModel* model = hard->folderView()->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isLoading(); }, 15000));
    bool shown = false;
    for (QLabel* l : hard->folderView()->findChildren<QLabel*>())
        if (l->isVisible() && l->text().contains("No such file")) shown = true;
    EXPECT_TRUE(shown);
}

TEST_F(QtProgramTest, LabelClicksShowTheTargetAndHideTheSource) {
    program().start();
    struct Row {
        const char* window;
        const char* control;
        const char* target;
    };
    const Row rows[] = {{"Form1", "Label9", "Form3"},  {"Form3", "Label10", "Big"},
                        {"Big", "Label6", "dublpanl"}, {"dublpanl", "Label3", "Form1"},
                        {"Form1", "Label8", "Form3"},  {"Form3", "Label1", "Form1"},
                        {"Form1", "Label10", "Big"},   {"Big", "Image1", "Form1"}};
    for (const Row& r : rows) {
        QWidget* source = window(r.window);
        QTest::mouseClick(widget(r.window, r.control), Qt::LeftButton);
        EXPECT_FALSE(forms().exists(r.window) && source->isVisible()) << r.window << "." << r.control;
        EXPECT_TRUE(window(r.target)->isVisible()) << r.window << "." << r.control;
    }
    // The three-panel arrangement shows in the widgets at the model's twips.
    QTest::mouseClick(widget("Form1", "Label9"), Qt::LeftButton);
    const float s = forms()["Form1"].ScaleWidth();
    EXPECT_EQ(widget("Form3", "Scd")->x(), std::lround((s * 0.333 - 50) / 15.0));
    EXPECT_TRUE(widget("Form3", "Fth")->isHidden());
}

// The view windows' widgets are made ahead, at idle after the start, and given to their forms when
// first referenced: such a window must be the one its record describes, wired to its own controls.
TEST_F(QtProgramTest, WindowsPreparedAheadWorkLikeOnesBuiltOnDemand) {
    program().start();
    auto allPrepared = [&] {
        return frontend().isPrepared("Big") && frontend().isPrepared("dublpanl") &&
               frontend().isPrepared("Form3");
    };
    ASSERT_TRUE(QTest::qWaitFor(allPrepared, 15000));
    // Made ahead but not yet a form's: not named, not shown, not among the built forms.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<FormWindow*>(w) && !static_cast<FormWindow*>(w)->form()) {
            EXPECT_TRUE(w->objectName().isEmpty());
            EXPECT_FALSE(w->isVisible());
        }
    EXPECT_FALSE(forms().exists("Form3"));

    auto click = [&](const char* from, const char* control, const char* target) {
        QTest::mouseClick(widget(from, control), Qt::LeftButton);
        EXPECT_TRUE(window(target)->isVisible()) << from << "." << control;
        EXPECT_EQ(window(target)->objectName().toStdString(), target);
    };
    click("Form1", "Label10", "Big");
    click("Big", "Label3", "Form1");
    click("Form1", "Label8", "Form3");
    EXPECT_FALSE(frontend().isPrepared("Form3"));
    // Every control of the window has its own widget, in the record's order, and the load step ran on them.
    for (const ControlRecord& c : forms()["Form3"].record().controls) {
        QWidget* cw = frontend().widgetOf(forms()["Form3"][c.name]);
        ASSERT_NE(cw, nullptr) << c.name;
        EXPECT_EQ(cw->objectName().toStdString(), c.name);
    }
    // The load step ran on the window's own panes: each lists the home folder.
    auto* pane = widget<BrowserView>("Form3", "Fst");
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->folderView()->folder(), home().toUtf8());

    // Unloaded, the window is prepared again, and the next visit gets a working one.
    click("Form3", "Label1", "Form1");
    EXPECT_FALSE(forms().exists("Form3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frontend().isPrepared("Form3"); }, 15000));
    click("Form1", "Label9", "Form3");
    click("Form3", "Image5", "Form1");
}

TEST_F(QtProgramTest, ClosingTheMainWindowAsksAndNoKeepsItOpen) {
    program().start();
    QString asked;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        asked = box->text();
        EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        box->button(QMessageBox::No)->click();
    });
    window("Form1")->close();
    EXPECT_EQ(asked, "             Exit Kestrovan?");
    EXPECT_TRUE(window("Form1")->isVisible());
    EXPECT_FALSE(frontend().ended());

    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) box->button(QMessageBox::Yes)->click();
    });
    forms()["Form1"].menuChosen("mnuWhat");
    window("Form1")->close();
    EXPECT_TRUE(frontend().ended());
    EXPECT_FALSE(window("Whats")->isVisible());
    EXPECT_FALSE(window("Form1")->isVisible());
}

TEST_F(QtProgramTest, InfoWindowKeepsItsScrollPositionAcrossCloseAndReopen) {
    program().start();
    forms()["Form1"].menuChosen("mnHelpi");
    auto* text = widget<QPlainTextEdit>("Help", "Text1");
    ASSERT_NE(text, nullptr);
    QScrollBar* bar = text->verticalScrollBar();
    bar->setValue(bar->maximum());
    const int at = bar->value();
    QTest::mouseClick(widget("Help", "Image1"), Qt::LeftButton);
    EXPECT_FALSE(window("Help")->isVisible());
    forms()["Form1"].menuChosen("mnHelpi");
    EXPECT_TRUE(window("Help")->isVisible());
    EXPECT_EQ(widget<QPlainTextEdit>("Help", "Text1"), text);
    EXPECT_EQ(bar->value(), at);
}

TEST_F(QtProgramTest, TheAgreementsLoneOptionStaysChosenAndItsCaptionChoosesIt) {
    program().start();
    forms()["Eula"].Show();
    auto* option = widget<QRadioButton>("Eula", "Option1");
    auto* agree = widget<QPushButton>("Eula", "Command1");
    ASSERT_TRUE(option && agree);
    EXPECT_FALSE(option->isChecked());
    QTest::mouseClick(widget("Eula", "Label1"), Qt::LeftButton);
    EXPECT_TRUE(option->isChecked());
    EXPECT_TRUE(agree->isEnabled());
    // Neither a click on the button nor its key clears it again, and the caption only chooses.
    option->click();
    EXPECT_TRUE(option->isChecked());
    QTest::keyClick(option, Qt::Key_Space);
    EXPECT_TRUE(option->isChecked());
    QTest::mouseClick(widget("Eula", "Label1"), Qt::LeftButton);
    EXPECT_TRUE(option->isChecked());
    EXPECT_TRUE(agree->isEnabled());
}

// The start-page box and its button reach a few pixels into the web pane below them.
TEST_F(QtProgramTest, TheTopRowLiesAboveTheWebPane) {
    program().start();
    auto check = [&](const char* when) {
        QWidget* xtra = widget("Form1", "xtra");
        const QObjectList& stack = xtra->parentWidget()->children();
        for (const char* name : {"Text1", "Command1"}) {
            QWidget* w = widget("Form1", name);
            EXPECT_TRUE(w->geometry().intersects(xtra->geometry())) << name;
            EXPECT_GT(stack.indexOf(w), stack.indexOf(xtra)) << name << " " << when;
        }
    };
    check("at the start");
    QTest::mouseClick(widget("Form1", "Label10"), Qt::LeftButton);
    QTest::mouseClick(widget("Big", "Label3"), Qt::LeftButton);
    check("shown again");
}

TEST_F(QtProgramTest, TabFollowsTheWindowsOrderIntoTheListsAndPagesOfItsPanes) {
    program().start();
    QWidget* form1 = window("Form1");
    auto holder = [&]() -> std::string {
        QWidget* focus = form1->focusWidget();
        for (const auto& c : forms()["Form1"].controls()) {
            QWidget* w = frontend().widgetOf(*c);
            if (focus && w && (w == focus || w->isAncestorOf(focus))) return c->name();
        }
        return "";
    };
    auto tab = [&](bool forward) {
        QTest::keyClick(form1->focusWidget(), Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
        return holder();
    };
    // The web pane shows its start page: the focus goes into the page.
    auto* xtra = widget<BrowserView>("Form1", "xtra");
    ASSERT_NE(xtra->webView(), nullptr);
    widget("Form1", "Text1")->setFocus();
    EXPECT_EQ(tab(true), "xtra");
    EXPECT_TRUE(form1->focusWidget() == xtra->webView() ||
                xtra->webView()->isAncestorOf(form1->focusWidget()));

    // With a folder in every pane, each stop in a pane is its list.
    xtra->navigate(home());
    auto* floppy = widget<BrowserView>("Form1", "floppy");
    floppy->focusTarget()->setFocus();
    std::vector<std::string> forward{holder()};
    for (int i = 0; i < 7; ++i) {
        forward.push_back(tab(true));
        if (auto* view = widget<BrowserView>("Form1", forward.back())) {
            EXPECT_EQ(form1->focusWidget(), view->folderView()->currentView()) << forward.back();
        }
    }
    EXPECT_EQ(forward, (std::vector<std::string>{"floppy", "Text1", "xtra", "Hardbox", "FlopBox", "Hard",
                                                 "Command1", "floppy"}));
    std::vector<std::string> backward{holder()};
    for (int i = 0; i < 3; ++i) backward.push_back(tab(false));
    EXPECT_EQ(backward, (std::vector<std::string>{"floppy", "Command1", "Hard", "FlopBox"}));

    // A pane that is hidden (the full browser) is passed over.
    QTest::mouseClick(widget("Form1", "Label5"), Qt::LeftButton);
    widget("Form1", "FlopBox")->setFocus();
    EXPECT_EQ(tab(true), "Command1");
}

TEST_F(QtProgramTest, TheMainWindowComesBackAsTheUserLeftIt) {
    program().start();
    QWidget* form1 = window("Form1");
    EXPECT_TRUE(form1->isMaximized());
    form1->showNormal();
    form1->setGeometry(100, 100, 800, 600);
    const QRect normal = form1->geometry();
    QTest::mouseClick(widget("Form1", "Label10"), Qt::LeftButton);
    QTest::mouseClick(widget("Big", "Label3"), Qt::LeftButton);
    EXPECT_TRUE(form1->isVisible());
    EXPECT_FALSE(form1->isMaximized());
    EXPECT_EQ(form1->geometry(), normal);

    // Left maximized, it comes back maximized.
    form1->showMaximized();
    QTest::mouseClick(widget("Form1", "Label9"), Qt::LeftButton);
    QTest::mouseClick(widget("Form3", "Label1"), Qt::LeftButton);
    EXPECT_TRUE(form1->isMaximized());
    // The view window's first show took its record's state.
    EXPECT_TRUE(window("Big")->isMaximized());
}

// Answers the next question of the program, if one comes, and says what it asked.
struct NextQuestion {
    explicit NextQuestion(QMessageBox::StandardButton answer) {
        QTimer::singleShot(0, [this, answer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text();
                box->button(answer)->click();
            }
        });
    }
    QString asked;
};

TEST_F(QtProgramTest, TheEndOfTheSessionAsksWhenItMay) {
    program().start();
    {
        NextQuestion no(QMessageBox::No);
        EXPECT_FALSE(frontend().sessionEnding(true));
        EXPECT_EQ(no.asked, "             Exit Kestrovan?");
    }
    EXPECT_FALSE(frontend().ended());
    EXPECT_TRUE(window("Form1")->isVisible());
    NextQuestion yes(QMessageBox::Yes);
    EXPECT_TRUE(frontend().sessionEnding(true));
    EXPECT_TRUE(frontend().ended());
    EXPECT_FALSE(window("Form1")->isVisible());
}

TEST_F(QtProgramTest, TheEndOfTheSessionEndsAsOnYesWhenItMayNotAsk) {
    program().start();
    forms()["Form1"].menuChosen("mnHelpi");
    NextQuestion none(QMessageBox::No);
    EXPECT_TRUE(frontend().sessionEnding(false));
    QApplication::processEvents();
    EXPECT_TRUE(none.asked.isEmpty());
    EXPECT_TRUE(frontend().ended());
    EXPECT_FALSE(window("Form1")->isVisible());
    EXPECT_FALSE(window("Help")->isVisible());
}

}  // namespace
}  // namespace kv::test
