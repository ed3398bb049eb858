// The model's texts are UTF-8; the windows' are QString.
#pragma once

#include <QString>
#include <string>
#include <string_view>

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}
