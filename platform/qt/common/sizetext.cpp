#include "platform/qt/common/sizetext.h"

#include <QCoreApplication>
#include <QLocale>
#include <array>

namespace kv {

QString sizeText(quint64 bytes) {
    static const std::array<const char*, 7> units = {
        QT_TRANSLATE_NOOP("kv::SizeText", "B"),   QT_TRANSLATE_NOOP("kv::SizeText", "KiB"),
        QT_TRANSLATE_NOOP("kv::SizeText", "MiB"), QT_TRANSLATE_NOOP("kv::SizeText", "GiB"),
        QT_TRANSLATE_NOOP("kv::SizeText", "TiB"), QT_TRANSLATE_NOOP("kv::SizeText", "PiB"),
        QT_TRANSLATE_NOOP("kv::SizeText", "EiB")};
    // "1023 B", not "1,023 B": only bytes reach four digits, and other sizes never do.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    auto unit = [](std::size_t u) { return QCoreApplication::translate("kv::SizeText", units[u]); };
    if (bytes < 1024) return QStringLiteral("%1 %2").arg(locale.toString(bytes), unit(0));
    std::size_t u = 0;
    double value = static_cast<double>(bytes);
    while (value >= 1024 && u + 1 < units.size()) {
        value /= 1024;
        ++u;
    }
    // 1,048,575 bytes are 1023.999 KiB: shown with one decimal that would read "1024.0 KiB".
    if (value >= 1023.95 && u + 1 < units.size()) {
        value /= 1024;
        ++u;
    }
    return QStringLiteral("%1 %2").arg(locale.toString(value, 'f', 1), unit(u));
}

}  // namespace kv
