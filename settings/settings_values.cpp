#include "settings/settings_values.h"

#include "browse/byte_name.h"

#include <QCoreApplication>
#include <QFile>

std::string ExecutablePath()
{
    return ByteNameOf(QCoreApplication::applicationFilePath());
}
