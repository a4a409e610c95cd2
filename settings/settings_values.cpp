#include "settings/settings_values.h"

#include <QCoreApplication>
#include <QFile>

#include <charconv>

std::string ExecutablePath()
{
    return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
}

std::optional<int> TextToInt(const std::string& text)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    // from_chars takes "-" but not "+".
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last)
        return std::nullopt;
    return value;
}
