#include "platform/qt/archives/compressdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace kv {

CompressDialog::CompressDialog(const QString& suggestedName, QWidget* parent)
    : QDialog(parent), m_name(new QLineEdit(suggestedName, this)), m_format(new QComboBox(this)) {
    setWindowTitle(tr("Compress"));
    setObjectName("compressDialog");
    m_name->setObjectName("archiveName");
    m_format->setObjectName("archiveFormat");
    const std::pair<ArchiveFormat, QString> formats[] = {
        {ArchiveFormat::Zip, tr("zip (opens everywhere)")},
        {ArchiveFormat::TarGz, tr("tar.gz")},
        {ArchiveFormat::TarXz, tr("tar.xz (smallest, slowest)")},
        {ArchiveFormat::TarZst, tr("tar.zst (fast)")},
    };
    for (const auto& [format, text] : formats) m_format->addItem(text, static_cast<int>(format));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(tr("Compress"));
    auto* form = new QFormLayout(this);
    form->addRow(tr("Archive name:"), m_name);
    form->addRow(tr("Format:"), m_format);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QLineEdit::textChanged, this, &CompressDialog::validate);
    setMinimumWidth(420);
    m_name->selectAll();
    validate();
}

void CompressDialog::validate() {
    const QString name = m_name->text().trimmed();
    m_ok->setEnabled(!name.isEmpty() && !name.contains('/') && name != "." && name != "..");
}

ArchiveFormat CompressDialog::format() const {
    return static_cast<ArchiveFormat>(m_format->currentData().toInt());
}

QString CompressDialog::fileName() const {
    const QString extension = QString::fromLatin1(CompressJob::extensionOf(format()).data());
    QString name = m_name->text().trimmed();
    if (!name.endsWith(extension, Qt::CaseInsensitive)) name += extension;
    return name;
}

}  // namespace kv
