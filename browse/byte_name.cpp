#include "browse/byte_name.h"

#include <QFile>

QString TextOfByteName(std::string_view bytes)
{
    // decodeName copies, so the bytes need not outlive the call.
    return QFile::decodeName(
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ByteNameOf(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}
