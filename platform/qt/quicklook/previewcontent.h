#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace kv {

// What a quick look shows for a file, decided off the UI thread: the file itself, opened, for what
// the web engine shows on its own (web pages, PDF, images, SVG, audio, video), or a page made here
// for the rest (text with its encoding guessed, a folder, a type with no preview, an error).
class PreviewContent {
  public:
    // Reads the file's start and opens it; may block (call it off the UI thread).
    static PreviewContent make(const QByteArray& path);

    // Text as a page: its encoding guessed, escaped, the name as the title. cut: only the start of
    // the file is shown.
    static QByteArray textPage(const QByteArray& bytes, const QString& name, bool cut);
    // The text in bytes, decoded by the encoding guessed, which is named in encoding: a byte order
    // mark, else UTF-8 when the bytes are valid UTF-8, else Windows-1252 (whose every byte is a
    // character, so any text reads). cut: the bytes are the start of a longer text, so a character
    // may be cut short at their end.
    static QString decode(const QByteArray& bytes, QString* encoding, bool cut = false);
    // A page with a heading and a line of explanation.
    static QByteArray messagePage(const QString& title, const QString& message);

    QByteArray mimeType;  // the type the engine is told
    QByteArray page;      // a page made here; empty when the file itself is shown
    // The file, open for reading, when it is shown itself; closed when the last copy goes.
    std::shared_ptr<int> fd;
};

}  // namespace kv
