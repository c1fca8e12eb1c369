// Between Qt's strings and the std::string of the layers below: text as
// UTF-8, and file paths in the file system's encoding.
#pragma once

#include <QFile>
#include <QString>
#include <string>

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

inline std::string path8(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
