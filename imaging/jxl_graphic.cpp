#include "imaging/jxl_graphic.h"

#include "imaging/colour_profile.h"
#include "imaging/graphic.h"
#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <QByteArray>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <dlfcn.h>

namespace {

// Far more than any photo; the whole file is held in memory while it is decoded.
constexpr qint64 maxJxlBytes = qint64 {1} << 30;

// libjxl is opened at the first JPEG XL picture rather than with the program: loading it, and
// the vector library it brings, which times the processor as it loads, cost every start
// about 6 ms, and most starts show no JPEG XL at all. Its functions are found by name.
struct JxlLibrary
{
    decltype(&::JxlDecoderCreate) DecoderCreate = nullptr;
    decltype(&::JxlDecoderDestroy) DecoderDestroy = nullptr;
    decltype(&::JxlDecoderSetParallelRunner) DecoderSetParallelRunner = nullptr;
    decltype(&::JxlDecoderSubscribeEvents) DecoderSubscribeEvents = nullptr;
    decltype(&::JxlDecoderSetInput) DecoderSetInput = nullptr;
    decltype(&::JxlDecoderReleaseInput) DecoderReleaseInput = nullptr;
    decltype(&::JxlDecoderCloseInput) DecoderCloseInput = nullptr;
    decltype(&::JxlDecoderProcessInput) DecoderProcessInput = nullptr;
    decltype(&::JxlDecoderGetBasicInfo) DecoderGetBasicInfo = nullptr;
    decltype(&::JxlDecoderImageOutBufferSize) DecoderImageOutBufferSize = nullptr;
    decltype(&::JxlDecoderSetImageOutBuffer) DecoderSetImageOutBuffer = nullptr;
    decltype(&::JxlDecoderSetPreferredColorProfile) DecoderSetPreferredColorProfile = nullptr;
    decltype(&::JxlDecoderGetColorAsEncodedProfile) DecoderGetColorAsEncodedProfile = nullptr;
    decltype(&::JxlDecoderGetICCProfileSize) DecoderGetICCProfileSize = nullptr;
    decltype(&::JxlDecoderGetColorAsICCProfile) DecoderGetColorAsICCProfile = nullptr;
    decltype(&::JxlThreadParallelRunner) ThreadParallelRunner = nullptr;
    decltype(&::JxlThreadParallelRunnerCreate) ThreadParallelRunnerCreate = nullptr;
    decltype(&::JxlThreadParallelRunnerDestroy) ThreadParallelRunnerDestroy = nullptr;
    decltype(&::JxlThreadParallelRunnerDefaultNumWorkerThreads)
        ThreadParallelRunnerDefaultNumWorkerThreads
        = nullptr;

    // The library, opened by the first caller; null when it is not installed or lacks a
    // function, and then no JPEG XL picture is read.
    static const JxlLibrary* Get()
    {
        static const std::unique_ptr<JxlLibrary> library = open();
        return library.get();
    }

private:
    static std::unique_ptr<JxlLibrary> open()
    {
        // Kept open for the program's life: its functions stay in use.
        void* decoder = dlopen(VISTREL_JXL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        void* threads = dlopen(VISTREL_JXL_THREADS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!decoder || !threads)
            return nullptr;
        auto library = std::make_unique<JxlLibrary>();
        bool complete = true;
        const auto take = [&complete](void* from, const char* name, auto& function) {
            function
                = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(from, name));
            complete = complete && function != nullptr;
        };
        take(decoder, "JxlDecoderCreate", library->DecoderCreate);
        take(decoder, "JxlDecoderDestroy", library->DecoderDestroy);
        take(decoder, "JxlDecoderSetParallelRunner", library->DecoderSetParallelRunner);
        take(decoder, "JxlDecoderSubscribeEvents", library->DecoderSubscribeEvents);
        take(decoder, "JxlDecoderSetInput", library->DecoderSetInput);
        take(decoder, "JxlDecoderReleaseInput", library->DecoderReleaseInput);
        take(decoder, "JxlDecoderCloseInput", library->DecoderCloseInput);
        take(decoder, "JxlDecoderProcessInput", library->DecoderProcessInput);
        take(decoder, "JxlDecoderGetBasicInfo", library->DecoderGetBasicInfo);
        take(decoder, "JxlDecoderImageOutBufferSize", library->DecoderImageOutBufferSize);
        take(decoder, "JxlDecoderSetImageOutBuffer", library->DecoderSetImageOutBuffer);
        take(decoder, "JxlDecoderSetPreferredColorProfile",
             library->DecoderSetPreferredColorProfile);
        take(decoder, "JxlDecoderGetColorAsEncodedProfile",
             library->DecoderGetColorAsEncodedProfile);
        take(decoder, "JxlDecoderGetICCProfileSize", library->DecoderGetICCProfileSize);
        take(decoder, "JxlDecoderGetColorAsICCProfile", library->DecoderGetColorAsICCProfile);
        take(threads, "JxlThreadParallelRunner", library->ThreadParallelRunner);
        take(threads, "JxlThreadParallelRunnerCreate", library->ThreadParallelRunnerCreate);
        take(threads, "JxlThreadParallelRunnerDestroy", library->ThreadParallelRunnerDestroy);
        take(threads, "JxlThreadParallelRunnerDefaultNumWorkerThreads",
             library->ThreadParallelRunnerDefaultNumWorkerThreads);
        return complete ? std::move(library) : nullptr;
    }
};

struct JxlDeleter
{
    const JxlLibrary* jxl;
    void operator()(JxlDecoder* decoder) const { jxl->DecoderDestroy(decoder); }
};

struct RunnerDeleter
{
    const JxlLibrary* jxl;
    void operator()(void* runner) const { jxl->ThreadParallelRunnerDestroy(runner); }
};

// The picture's size in the basic information the decoder has just read, after the file's
// turn and mirror, which the decoder applies; invalid when it cannot be read.
QSize basicSize(const JxlLibrary* jxl, const JxlDecoder* decoder)
{
    JxlBasicInfo info;
    if (jxl->DecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS)
        return {};
    return {static_cast<int>(std::min<uint32_t>(info.xsize, INT_MAX)),
            static_cast<int>(std::min<uint32_t>(info.ysize, INT_MAX))};
}

// The profile of the samples the decoder will give, once it has read the file's colour
// encoding; empty when they are sRGB already. A picture stored in libjxl's own colour space
// is asked for in sRGB, which libjxl then gives itself; one stored in its original colour
// space comes in that, and its profile goes through LittleCMS.
std::vector<unsigned char> dataProfile(const JxlLibrary* jxl, JxlDecoder* decoder, bool grey)
{
    JxlColorEncoding srgb {};
    srgb.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
    srgb.white_point = JXL_WHITE_POINT_D65;
    srgb.primaries = JXL_PRIMARIES_SRGB;
    srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
    srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
    // Refused for a picture in its original colour space: its samples are not converted.
    jxl->DecoderSetPreferredColorProfile(decoder, &srgb);
    JxlColorEncoding data {};
    if (jxl->DecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &data)
            == JXL_DEC_SUCCESS
        && data.white_point == JXL_WHITE_POINT_D65
        && data.transfer_function == JXL_TRANSFER_FUNCTION_SRGB
        && (data.color_space == JXL_COLOR_SPACE_GRAY
            || (data.color_space == JXL_COLOR_SPACE_RGB && data.primaries == JXL_PRIMARIES_SRGB)))
        return {};
    std::size_t size = 0;
    if (jxl->DecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size)
            != JXL_DEC_SUCCESS
        || size == 0)
        return {};
    std::vector<unsigned char> profile(size);
    if (jxl->DecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                         profile.data(), profile.size())
        != JXL_DEC_SUCCESS)
        return {};
    return profile;
}

} // namespace

QSize ReadJxlSize(const std::string& fileName)
{
    const JxlLibrary* jxl = JxlLibrary::Get();
    PictureFile file(fileName);
    if (!jxl || !file.isOpen())
        return {};
    const std::unique_ptr<JxlDecoder, JxlDeleter> decoder(jxl->DecoderCreate(nullptr),
                                                          JxlDeleter {jxl});
    if (!decoder
        || jxl->DecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS)
        return {};
    // The basic information comes first in the code stream; the file is fed a block at a
    // time until it is in, past any container boxes before the code stream, but not past
    // where any real file has told it.
    constexpr qint64 block = 64 * 1024;
    constexpr qint64 mostRead = qint64 {16} << 20;
    std::vector<uint8_t> bytes;
    for (;;) {
        const JxlDecoderStatus status = jxl->DecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO)
            return basicSize(jxl, decoder.get());
        if (status != JXL_DEC_NEED_MORE_INPUT)
            return {};
        const std::size_t unread = jxl->DecoderReleaseInput(decoder.get());
        bytes.erase(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(unread));
        const std::size_t kept = bytes.size();
        bytes.resize(kept + block);
        const qint64 read = file.read(bytes.data() + kept, block);
        bytes.resize(kept + static_cast<std::size_t>(std::max<qint64>(read, 0)));
        if (read <= 0 || file.pos() > mostRead
            || jxl->DecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
            return {};
    }
}

QImage ReadJxlFile(const std::string& fileName)
{
    const JxlLibrary* jxl = JxlLibrary::Get();
    PictureFile file(fileName);
    if (!jxl || !file.isOpen() || file.size() > maxJxlBytes)
        return {};
    QByteArray bytes(static_cast<qsizetype>(file.size()), Qt::Uninitialized);
    if (file.read(bytes.data(), bytes.size()) != bytes.size())
        return {};

    const std::unique_ptr<JxlDecoder, JxlDeleter> decoder(jxl->DecoderCreate(nullptr),
                                                          JxlDeleter {jxl});
    const std::unique_ptr<void, RunnerDeleter> runner(
        jxl->ThreadParallelRunnerCreate(nullptr,
                                        jxl->ThreadParallelRunnerDefaultNumWorkerThreads()),
        RunnerDeleter {jxl});
    if (!decoder || !runner
        || jxl->DecoderSetParallelRunner(decoder.get(), jxl->ThreadParallelRunner, runner.get())
            != JXL_DEC_SUCCESS
        || jxl->DecoderSubscribeEvents(
               decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE)
            != JXL_DEC_SUCCESS
        || jxl->DecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size()))
            != JXL_DEC_SUCCESS)
        return {};
    jxl->DecoderCloseInput(decoder.get());

    const JxlPixelFormat format {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    long long width = 0;
    long long height = 0;
    bool grey = false;
    std::vector<unsigned char> profile;
    std::vector<uint8_t> rgba;
    for (;;) {
        const JxlDecoderStatus status = jxl->DecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info;
            grey = jxl->DecoderGetBasicInfo(decoder.get(), &info) == JXL_DEC_SUCCESS
                && info.num_color_channels == 1;
            const QSize size = basicSize(jxl, decoder.get());
            width = size.width();
            height = size.height();
            if (!FitsPictureLimit(width, height)
                || JxlDecodeBytesPerPixel * width * height > MaxPictureBytes)
                return {};
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            profile = dataProfile(jxl, decoder.get(), grey);
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t size = 0;
            if (width == 0
                || jxl->DecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS
                || size != static_cast<std::size_t>(4 * width * height))
                return {};
            rgba.resize(size);
            if (jxl->DecoderSetImageOutBuffer(decoder.get(), &format, rgba.data(), rgba.size())
                != JXL_DEC_SUCCESS)
                return {};
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break; // the first frame only
        } else {
            return {}; // an error, or the file ends before its first frame does
        }
    }

    QImage picture = NewPictureBitmap(static_cast<int>(width), static_cast<int>(height));
    if (picture.isNull())
        return {};
    // Converted to sRGB before it is composited onto sRGB's white.
    SrgbConversion conversion;
    if (grey)
        conversion.PrepareGrey(profile);
    else
        conversion.Prepare(profile);
    const uint8_t* in = rgba.data();
    for (long long y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(static_cast<int>(y)));
        for (long long x = 0; x < width; ++x, in += 4)
            out[x] = qRgba(in[0], in[1], in[2], in[3]);
        conversion.Convert(reinterpret_cast<uchar*>(out), static_cast<qsizetype>(width));
        for (long long x = 0; x < width; ++x)
            out[x] = qAlpha(out[x]) == 255 ? out[x] : OnWhite(out[x]);
    }
    return picture;
}
