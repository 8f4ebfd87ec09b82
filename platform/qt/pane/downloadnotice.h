#pragma once

#include <QByteArray>
#include <QTimer>

#include "platform/qt/common/clickablelabel.h"

namespace kv {

class FolderPane;

// A line in a folder pane's status line about a file saved into its folder: "Downloading bundle.zip…",
// then "Saved bundle.zip — 2.3 MiB" (or why not). A click reveals the file: its folder shown in the pane,
// the file selected and scrolled to. It stands in the counts' place for a while (longer while the
// pointer rests on it), until a newer one replaces it. Only the name is shortened where the line is
// narrow, never the size.
class DownloadNotice : public ClickableLabel {
    Q_OBJECT
  public:
    static constexpr int kShownMs = 20000;

    // The pane's notice, made the first time, saying text (name is the part that may be shortened).
    static DownloadNotice* show(FolderPane& pane, const QString& text, const QString& name,
                                const QByteArray& path);
    // The pane's notice while it shows; null otherwise.
    static DownloadNotice* of(const FolderPane& pane);
    // Shows the item in the pane: its folder, selected, scrolled to, the rows focused.
    static void reveal(FolderPane& pane, const QByteArray& path);

    const QByteArray& path() const { return m_path; }
    QString fullText() const { return m_text; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    DownloadNotice(FolderPane& pane, QWidget* parent);
    void setNews(const QString& text, const QString& name, const QByteArray& path);
    void fit();
    void expire();

    FolderPane& m_pane;
    QString m_text;  // the whole text, name included
    QString m_name;
    QByteArray m_path;
    QTimer m_expiry;
};

}  // namespace kv
