#include "platform/qt/jobs/errordialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/jobs/jobtexts.h"

namespace kv {

ErrorDialog::ErrorDialog(const ErrorRequest& r, QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(JobTexts::errorTitle(r));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(JobTexts::sentence(r.report));
    text->setObjectName("message");
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    layout->addWidget(text);
    m_skipAll = new QCheckBox(tr("Skip all further errors"));
    m_skipAll->setObjectName("skipAll");
    layout->addWidget(m_skipAll);

    auto* buttons = new QDialogButtonBox;
    auto add = [&](const QString& label, const char* name, ErrorChoice choice,
                   QDialogButtonBox::ButtonRole role) {
        QPushButton* b = buttons->addButton(label, role);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, [this, choice] { answer(choice); });
        return b;
    };
    if (r.canRetry) add(tr("Retry"), "retry", ErrorChoice::Retry, QDialogButtonBox::AcceptRole);
    add(tr("Skip"), "skip", ErrorChoice::Skip, QDialogButtonBox::ActionRole)->setDefault(true);
    add(tr("Cancel"), "cancel", ErrorChoice::Cancel, QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(this, &QDialog::rejected, this, [this] { answer(ErrorChoice::Cancel); });
}

void ErrorDialog::answer(ErrorChoice choice) {
    if (m_answered) return;
    m_answered = true;
    emit answered({choice, choice == ErrorChoice::Skip && m_skipAll->isChecked()});
    close();
}

}  // namespace kv
