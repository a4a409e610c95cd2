#include "imaging/picture_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// glibc ignores setvbuf's size when it is given no buffer: the stream would read 4 KiB at
// a time.
constexpr std::size_t streamBufferSize = std::size_t {1} << 16;

ssize_t readStream(void* cookie, char* into, std::size_t count)
{
    return static_cast<ssize_t>(
        static_cast<PictureFile*>(cookie)->read(into, static_cast<qint64>(count)));
}

} // namespace

PictureFile::PictureFile(const std::string& fileName)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return;
    }
    descriptor = fd;
    length = status.st_size;
}

PictureFile::~PictureFile()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

qint64 PictureFile::read(void* into, qint64 count)
{
    if (descriptor < 0)
        return 0;
    count = std::min(count, length - position);
    qint64 done = 0;
    while (done < count) {
        const ssize_t got = ::read(descriptor, static_cast<char*>(into) + done,
                                   static_cast<std::size_t>(count - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    position += done;
    return done;
}

bool PictureFile::seek(qint64 offset)
{
    if (descriptor < 0 || offset < 0 || offset > length
        || ::lseek(descriptor, static_cast<off_t>(offset), SEEK_SET) != offset)
        return false;
    position = offset;
    return true;
}

PictureStream PictureFile::stream()
{
    if (descriptor < 0)
        return nullptr;
    PictureStream stream(fopencookie(this, "rb", {readStream, nullptr, nullptr, nullptr}));
    if (!stream)
        return nullptr;
    if (!buffer)
        buffer = std::make_unique<char[]>(streamBufferSize);
    std::setvbuf(stream.get(), buffer.get(), _IOFBF, streamBufferSize);
    return stream;
}
