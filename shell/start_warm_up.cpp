#include "shell/start_warm_up.h"

#include <QBuffer>
#include <QByteArray>
#include <QFontDatabase>
#include <QImageReader>

#include <system_error>

StartWarmUp::StartWarmUp()
{
    try {
        reader = std::thread([] {
            // Both are safe from any thread: Qt guards its font database and its plugin
            // loader, and the interface thread waits for what is still being read.
            QFontDatabase::families();
            // Content of no known format has every picture plugin loaded to be asked.
            QByteArray nothing("?");
            QBuffer device(&nothing);
            QImageReader(&device).format();
        });
    } catch (const std::system_error&) {
    }
}

StartWarmUp::~StartWarmUp()
{
    if (reader.joinable())
        reader.join();
}
