#include "imaging/svg_graphic.h"

#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

// glib names a member "signals", which is one of Qt's keywords.
#pragma push_macro("signals")
#undef signals
#include <librsvg/rsvg.h>
#pragma pop_macro("signals")

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Far more than any drawing; the whole file is held in memory while it is parsed.
constexpr qint64 maxSvgBytes = qint64 {256} << 20;

// What the drawing process takes besides its picture: the program's and librsvg's libraries
// and fonts, measured at about 40 MiB.
constexpr std::int64_t drawingProcessBytes = std::int64_t {64} << 20;

// How the program is started to draw: this option first, then "size" or "draw", the file
// name and the budget in seconds. Taken before main (startDrawingProcess below), so that
// every program that reads drawings, its tests too, draws with its own code.
constexpr char drawingOption[] = "--vistrel-drawing-process";

std::atomic<int> drawingSeconds = DrawingSeconds;

// The sanitizers' shadow memory needs far more address space than any limit would allow.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool underAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool underAddressSanitizer = false;
#endif

// The functions of librsvg and of cairo, which librsvg brings, found by name.
struct SvgLibrary
{
    decltype(&::rsvg_handle_new_from_data) HandleNewFromData = nullptr;
    decltype(&::rsvg_handle_set_dpi) HandleSetDpi = nullptr;
    decltype(&::rsvg_handle_get_intrinsic_size_in_pixels) HandleGetIntrinsicSizeInPixels = nullptr;
    decltype(&::rsvg_handle_get_intrinsic_dimensions) HandleGetIntrinsicDimensions = nullptr;
    decltype(&::rsvg_handle_render_document) HandleRenderDocument = nullptr;
    decltype(&::cairo_image_surface_create) ImageSurfaceCreate = nullptr;
    decltype(&::cairo_image_surface_get_data) ImageSurfaceGetData = nullptr;
    decltype(&::cairo_image_surface_get_stride) ImageSurfaceGetStride = nullptr;
    decltype(&::cairo_surface_status) SurfaceStatus = nullptr;
    decltype(&::cairo_surface_flush) SurfaceFlush = nullptr;
    decltype(&::cairo_create) Create = nullptr;
    decltype(&::cairo_set_source_rgb) SetSourceRgb = nullptr;
    decltype(&::cairo_paint) Paint = nullptr;

    // Null when librsvg is not installed or lacks a function.
    static std::unique_ptr<SvgLibrary> Open()
    {
        // Its dependencies (cairo) are searched through the same handle.
        void* library = dlopen(VISTREL_RSVG_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        auto svg = std::make_unique<SvgLibrary>();
        bool complete = true;
        const auto take = [&](const char* name, auto& function) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                dlsym(library, name));
            complete = complete && function != nullptr;
        };
        take("rsvg_handle_new_from_data", svg->HandleNewFromData);
        take("rsvg_handle_set_dpi", svg->HandleSetDpi);
        take("rsvg_handle_get_intrinsic_size_in_pixels", svg->HandleGetIntrinsicSizeInPixels);
        take("rsvg_handle_get_intrinsic_dimensions", svg->HandleGetIntrinsicDimensions);
        take("rsvg_handle_render_document", svg->HandleRenderDocument);
        take("cairo_image_surface_create", svg->ImageSurfaceCreate);
        take("cairo_image_surface_get_data", svg->ImageSurfaceGetData);
        take("cairo_image_surface_get_stride", svg->ImageSurfaceGetStride);
        take("cairo_surface_status", svg->SurfaceStatus);
        take("cairo_surface_flush", svg->SurfaceFlush);
        take("cairo_create", svg->Create);
        take("cairo_set_source_rgb", svg->SetSourceRgb);
        take("cairo_paint", svg->Paint);
        return complete ? std::move(svg) : nullptr;
    }
};

// What the drawing process hands over before any pixels.
struct DrawingSize
{
    std::int32_t width = 0;
    std::int32_t height = 0;
};

bool writeAll(int descriptor, const void* bytes, std::size_t count)
{
    const auto* from = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t written = ::write(descriptor, from, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        from += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

// The drawing's own size: its width and height where both resolve to pixels, else its view
// box; none when it has neither.
DrawingSize sizeOf(const SvgLibrary& svg, RsvgHandle* handle)
{
    double width = 0;
    double height = 0;
    if (!svg.HandleGetIntrinsicSizeInPixels(handle, &width, &height)) {
        gboolean hasViewBox = FALSE;
        RsvgRectangle viewBox {};
        svg.HandleGetIntrinsicDimensions(handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox,
                                         &viewBox);
        if (!hasViewBox)
            return {};
        width = viewBox.width;
        height = viewBox.height;
    }
    // Fractional pixels are covered, as librsvg asks; NaN and sizes past any limit give none.
    if (!(width >= 1 && height >= 1 && width <= MaxPictureBytes && height <= MaxPictureBytes))
        return {};
    const auto whole = [](double length) {
        return static_cast<std::int64_t>(std::ceil(length));
    };
    if (!FitsPictureLimit(whole(width), whole(height)))
        return {};
    return {static_cast<std::int32_t>(whole(width)), static_cast<std::int32_t>(whole(height))};
}

// The drawing process: reads the file, and writes to its standard output the drawing's size
// and, to draw, its rows of RGB32 pixels on white. Exits 0 when all is written, else 1; past
// its budget the system ends it.
[[noreturn]] void drawingProcess(const char* mode, const char* fileName, int seconds)
{
    // Nothing is left running when the program that asked ends, and nothing it had open
    // (its hand-over socket among them) is held here.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::close_range(3, ~0u, 0);
    const rlimit processorTime {static_cast<rlim_t>(seconds), static_cast<rlim_t>(seconds) + 1};
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CPU, &processorTime);
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (!underAddressSanitizer) {
        // Its picture and every layer a drawing may ask for beside it, within the picture
        // limit.
        const rlim_t most = rlim_t {3} * MaxPictureBytes + (rlim_t {2} << 30);
        const rlimit addressSpace {most, most};
        ::setrlimit(RLIMIT_AS, &addressSpace);
    }
    const bool draw = std::strcmp(mode, "draw") == 0;

    PictureFile file(fileName);
    if (!file.isOpen() || file.size() > maxSvgBytes)
        ::_exit(1);
    std::vector<guint8> bytes(static_cast<std::size_t>(file.size()));
    if (file.read(bytes.data(), file.size()) != file.size())
        ::_exit(1);
    const std::unique_ptr<SvgLibrary> svg = SvgLibrary::Open();
    if (!svg)
        ::_exit(1);
    // No base address: librsvg then loads nothing a drawing names but data: URLs.
    RsvgHandle* handle = svg->HandleNewFromData(bytes.data(), bytes.size(), nullptr);
    if (!handle)
        ::_exit(1);
    svg->HandleSetDpi(handle, 96);
    const DrawingSize size = sizeOf(*svg, handle);
    if (size.width == 0)
        ::_exit(1);
    if (!draw)
        ::_exit(writeAll(STDOUT_FILENO, &size, sizeof size) ? 0 : 1);

    cairo_surface_t* surface = svg->ImageSurfaceCreate(CAIRO_FORMAT_RGB24, size.width, size.height);
    if (svg->SurfaceStatus(surface) != CAIRO_STATUS_SUCCESS)
        ::_exit(1);
    cairo_t* context = svg->Create(surface);
    svg->SetSourceRgb(context, 1, 1, 1);
    svg->Paint(context);
    const RsvgRectangle viewport {0, 0, static_cast<double>(size.width),
                                  static_cast<double>(size.height)};
    if (!svg->HandleRenderDocument(handle, context, &viewport, nullptr))
        ::_exit(1);
    svg->SurfaceFlush(surface);
    if (!writeAll(STDOUT_FILENO, &size, sizeof size))
        ::_exit(1);
    // cairo leaves the fourth byte of its RGB24 pixels undefined; RGB32 has it opaque.
    unsigned char* data = svg->ImageSurfaceGetData(surface);
    const int stride = svg->ImageSurfaceGetStride(surface);
    for (int y = 0; y < size.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t {stride} * y);
        for (int x = 0; x < size.width; ++x)
            row[x] |= 0xFF000000u;
        if (!writeAll(STDOUT_FILENO, row, std::size_t {4} * static_cast<std::size_t>(size.width)))
            ::_exit(1);
    }
    ::_exit(0);
}

// Before main and before anything else of the program runs: the C library hands the
// initialisers the command line.
[[gnu::constructor]] void startDrawingProcess(int argc, char** argv, char**)
{
    if (argc == 5 && std::strcmp(argv[1], drawingOption) == 0)
        drawingProcess(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
}

// A drawing process under way, read through a pipe; ended and reaped when it goes.
class DrawingRun
{
public:
    DrawingRun(const char* mode, const std::string& fileName,
               const std::function<bool()>& keepGoingAsked)
        : keepGoing(keepGoingAsked)
    {
        const int seconds = drawingSeconds;
        // Past its processor time the system ends the process; this is for one that waits
        // without working (it never should).
        deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4 * seconds + 5);
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        const std::string budget = std::to_string(seconds);
        char* const arguments[] = {const_cast<char*>("vistrel-drawing"),
                                   const_cast<char*>(drawingOption),
                                   const_cast<char*>(mode),
                                   const_cast<char*>(fileName.c_str()),
                                   const_cast<char*>(budget.c_str()),
                                   nullptr};
        if (posix_spawn(&process, "/proc/self/exe", &actions, nullptr, arguments, environ) != 0)
            process = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        output = pipe[0];
    }

    ~DrawingRun()
    {
        if (output >= 0)
            ::close(output);
        if (process > 0) {
            ::kill(process, SIGKILL);
            reap();
        }
    }

    DrawingRun(const DrawingRun&) = delete;
    DrawingRun& operator=(const DrawingRun&) = delete;

    // Reads count bytes; false when the process ends or fails first, when keepGoing says
    // false or when the time is up.
    bool Read(void* into, std::size_t count)
    {
        auto* to = static_cast<char*>(into);
        while (count > 0) {
            if (process <= 0 || !keepGoing() || std::chrono::steady_clock::now() > deadline)
                return false;
            pollfd ready {output, POLLIN, 0};
            const int polled = ::poll(&ready, 1, 40);
            if (polled < 0 && errno != EINTR)
                return false;
            if (polled <= 0)
                continue;
            const ssize_t got = ::read(output, to, count);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0)
                return false;
            to += got;
            count -= static_cast<std::size_t>(got);
        }
        return true;
    }

    // Whether the process, all read, ended as it does after a whole drawing.
    bool EndedWell()
    {
        char more;
        if (Read(&more, 1))
            return false; // more than it should have written
        const int status = reap();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    int reap()
    {
        int status = 0;
        while (::waitpid(process, &status, 0) < 0 && errno == EINTR) { }
        process = -1;
        return status;
    }

    const std::function<bool()>& keepGoing;
    std::chrono::steady_clock::time_point deadline;
    pid_t process = -1;
    int output = -1;
};

bool validSize(const DrawingSize& size)
{
    return FitsPictureLimit(size.width, size.height);
}

} // namespace

QSize ReadSvgSize(const std::string& fileName)
{
    const std::function<bool()> always = [] {
        return true;
    };
    DrawingRun run("size", fileName, always);
    DrawingSize size;
    if (!run.Read(&size, sizeof size) || !validSize(size) || !run.EndedWell())
        return {};
    return {size.width, size.height};
}

QImage ReadSvgFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing)
{
    DrawingRun run("draw", fileName, keepGoing);
    DrawingSize size;
    if (!run.Read(&size, sizeof size) || !validSize(size))
        return {};
    QImage picture = NewPictureBitmap(size.width, size.height);
    if (picture.isNull())
        return {};
    for (int y = 0; y < size.height; ++y)
        if (!run.Read(picture.scanLine(y), std::size_t {4} * static_cast<std::size_t>(size.width)))
            return {};
    if (!run.EndedWell())
        return {};
    return picture;
}

QImage ReadSvgFile(const std::string& fileName)
{
    return ReadSvgFileWhile(fileName, [] { return true; });
}

std::int64_t SvgDecodeBytes(QSize size)
{
    if (!FitsPictureLimit(size.width(), size.height()))
        return -1;
    return 8 * std::int64_t {size.width()} * size.height() + drawingProcessBytes;
}

void SetDrawingSeconds(int seconds)
{
    drawingSeconds = std::max(1, seconds);
}

ReducedPicture ReadSvgStandIn(const std::string& fileName, QSize)
{
    ReducedPicture standIn;
    standIn.fullSize = ReadSvgSize(fileName);
    if (standIn.fullSize.isValid()) {
        standIn.picture = QImage(1, 1, QImage::Format_RGB32);
        standIn.picture.fill(Qt::white);
    }
    return standIn;
}
