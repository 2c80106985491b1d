#pragma once
// The program's 8-bit texts (code page 1252) at the Qt boundary.
#include "platform/AnsiString.h"
#include "platform/Cp1252.h"

#include <QString>

namespace vo {

inline QString AnsiToQ(const MyAnsiString& S) {
    return QString::fromStdString(Cp1252ToUtf8(S));
}
// Characters that code page 1252 lacks become "?".
inline MyAnsiString QToAnsi(const QString& S) {
    return Utf8ToCp1252(S.toStdString());
}

} // namespace vo
