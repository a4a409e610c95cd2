// Reading back what the trash wrote, for the tests of the trash and of the file operations.
#pragma once

#include <QByteArray>

#include <string>

// The Path line of a trash info file's text, decoded; empty when it has none.
inline std::string trashedPath(const std::string& info)
{
    const size_t start = info.find("\nPath=");
    if (start == std::string::npos)
        return {};
    const size_t end = info.find('\n', start + 1);
    return QByteArray::fromPercentEncoding(
               QByteArray::fromStdString(info.substr(start + 6, end - start - 6)))
        .toStdString();
}
