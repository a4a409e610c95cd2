#include "imaging/svg_graphic.h"
#include "imaging/tests/fuzz_load.h"

#include <QGuiApplication>

// The loader's wait cursor asks for a QGuiApplication; the offscreen platform needs no
// display. A drawing's budget is less than the search's time for one input, so that a drawing
// too costly to finish ends as the program ends it, as a failed picture.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    SetDrawingSeconds(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzLoad(data, size, "svg");
}
