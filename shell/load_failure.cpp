#include "shell/load_failure.h"

#include "browse/byte_name.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString LoadFailureText(const std::string& FileName)
{
    const QString path = TextOfByteName(FileName);
    struct stat status = {};
    if (::stat(FileName.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return QStringLiteral("Not found: %1").arg(path);
        return QStringLiteral("Cannot open %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (S_ISDIR(status.st_mode) || !S_ISREG(status.st_mode))
        return QStringLiteral("Not a picture file: %1").arg(path);
    // Non-blocking: the file was regular a moment ago, but may be a FIFO by now.
    const int descriptor = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return QStringLiteral("Cannot open %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    ::close(descriptor);
    if (status.st_size == 0)
        return QStringLiteral("Empty file: %1").arg(path);
    return QStringLiteral("Cannot read the picture (damaged, of another format, or too large): %1")
        .arg(path);
}
