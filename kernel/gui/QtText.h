#pragma once
// Texts between the model (code page 1252) and Qt (UTF-16).
#include "platform/AnsiString.h"
#include "platform/Cp1252.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace vo {

inline QString ToQt(const MyAnsiString& Text) {
    return QString::fromStdString(Cp1252ToUtf8(Text));
}

inline MyAnsiString FromQt(const QString& Text) {
    return Utf8ToCp1252(Text.toStdString());
}

inline QStringList ToQt(const std::vector<MyAnsiString>& Items) {
    QStringList out;
    for (const auto& s : Items)
        out << ToQt(s);
    return out;
}

} // namespace vo
