// The body of the metafile player's fuzz targets: the input is played as a metafile, and a
// picture must have exactly the size the header reports.
#pragma once

#include "imaging/metafile_player.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

// Text needs a QGuiApplication for its fonts; the offscreen platform needs no display.
inline void fuzzMetafileInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
}

inline int fuzzMetafile(const std::uint8_t* data, std::size_t size,
                        QSize (*sizeOf)(const QByteArray&), QImage (*play)(const QByteArray&))
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                     static_cast<qsizetype>(size));
    const QSize reported = sizeOf(bytes);
    // Pictures up to 2048 x 2048 are played, large enough that records repeating work over
    // the whole picture show as slow inputs; larger ones only cost filling their pixels.
    if (static_cast<qint64>(reported.width()) * reported.height() > (1 << 22))
        return 0;
    // No picture is a valid answer (a playback past its work budget); a picture has the
    // reported size.
    const QImage picture = play(bytes);
    if (!picture.isNull() && picture.size() != reported)
        __builtin_trap();
    if (!picture.isNull() && picture.format() != QImage::Format_RGB32)
        __builtin_trap();
    return 0;
}
