#include "imaging/tests/fuzz_load.h"

#include <QGuiApplication>

// A drawing's text needs a QGuiApplication for its fonts; the offscreen platform needs no
// display.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzLoad(data, size, "svg");
}
