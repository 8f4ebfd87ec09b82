#pragma once

#include <QString>

namespace kv {

// A size as the program writes it everywhere: powers of 1024 with their IEC names (B, KiB, MiB, GiB,
// TiB, PiB, EiB), one decimal above bytes, in the user's locale ("1.5 MiB", "1023 B").
QString sizeText(quint64 bytes);

}  // namespace kv
