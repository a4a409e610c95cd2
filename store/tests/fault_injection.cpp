// Defined in the test program, these come before the C library's functions of the same names;
// each finds the library's own with dlsym(RTLD_NEXT) and lets it run unless it is the call to
// fail.
#include "store/tests/fault_injection.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <thread>

#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

std::atomic<bool> counting {false};
std::atomic<std::thread::id> countingThread;
int calls = 0;
int failAt = 0;
int failWith = 0;
const char* failedCall = "";

// Whether this call is the one to fail; counts it.
bool failHere(const char* name)
{
    if (!counting.load() || countingThread.load() != std::this_thread::get_id())
        return false;
    if (++calls != failAt)
        return false;
    failedCall = name;
    return true;
}

template<typename Function> Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

mode_t modeArgument(int flags, va_list& arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

} // namespace

namespace fault_injection {

void Start(int failingCall, int error)
{
    calls = 0;
    failAt = failingCall;
    failWith = error;
    failedCall = "";
    countingThread = std::this_thread::get_id();
    counting = true;
}

int Stop()
{
    counting = false;
    return calls;
}

bool Failed()
{
    return *failedCall != '\0';
}

const char* FailedCall()
{
    return failedCall;
}

} // namespace fault_injection

// Each returns the failure the way the C library does: -1 and errno, or, for
// posix_fallocate, the error number.
#define FAIL_OR_CALL(name, type, ...)                                                              \
    do {                                                                                           \
        if (failHere(#name)) {                                                                     \
            errno = failWith;                                                                      \
            return -1;                                                                             \
        }                                                                                          \
        static const auto function = real<type>(#name);                                            \
        return function(__VA_ARGS__);                                                              \
    } while (false)

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    FAIL_OR_CALL(open, int (*)(const char*, int, ...), path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    FAIL_OR_CALL(open64, int (*)(const char*, int, ...), path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    FAIL_OR_CALL(openat, int (*)(int, const char*, int, ...), folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    FAIL_OR_CALL(openat64, int (*)(int, const char*, int, ...), folder, path, flags, mode);
}

int creat(const char* path, mode_t mode)
{
    FAIL_OR_CALL(creat, int (*)(const char*, mode_t), path, mode);
}

ssize_t write(int file, const void* bytes, size_t count)
{
    FAIL_OR_CALL(write, ssize_t(*)(int, const void*, size_t), file, bytes, count);
}

ssize_t pwrite(int file, const void* bytes, size_t count, off_t at)
{
    FAIL_OR_CALL(pwrite, ssize_t(*)(int, const void*, size_t, off_t), file, bytes, count, at);
}

ssize_t pwrite64(int file, const void* bytes, size_t count, off64_t at)
{
    FAIL_OR_CALL(pwrite64, ssize_t(*)(int, const void*, size_t, off64_t), file, bytes, count, at);
}

int fsync(int file)
{
    FAIL_OR_CALL(fsync, int (*)(int), file);
}

int fdatasync(int file)
{
    FAIL_OR_CALL(fdatasync, int (*)(int), file);
}

int close(int file)
{
    static const auto function = real<int (*)(int)>("close");
    const int closed = function(file);
    if (failHere("close")) {
        errno = failWith;
        return -1;
    }
    return closed;
}

int rename(const char* from, const char* to)
{
    FAIL_OR_CALL(rename, int (*)(const char*, const char*), from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    FAIL_OR_CALL(renameat, int (*)(int, const char*, int, const char*), fromFolder, from, toFolder,
                 to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags)
{
    FAIL_OR_CALL(renameat2, int (*)(int, const char*, int, const char*, unsigned), fromFolder, from,
                 toFolder, to, flags);
}

int mkdir(const char* path, mode_t mode)
{
    FAIL_OR_CALL(mkdir, int (*)(const char*, mode_t), path, mode);
}

int mkdirat(int folder, const char* path, mode_t mode)
{
    FAIL_OR_CALL(mkdirat, int (*)(int, const char*, mode_t), folder, path, mode);
}

int fallocate(int file, int mode, off_t at, off_t length)
{
    FAIL_OR_CALL(fallocate, int (*)(int, int, off_t, off_t), file, mode, at, length);
}

int fallocate64(int file, int mode, off64_t at, off64_t length)
{
    FAIL_OR_CALL(fallocate64, int (*)(int, int, off64_t, off64_t), file, mode, at, length);
}

int posix_fallocate(int file, off_t at, off_t length)
{
    if (failHere("posix_fallocate"))
        return failWith;
    static const auto function = real<int (*)(int, off_t, off_t)>("posix_fallocate");
    return function(file, at, length);
}

int posix_fallocate64(int file, off64_t at, off64_t length)
{
    if (failHere("posix_fallocate64"))
        return failWith;
    static const auto function = real<int (*)(int, off64_t, off64_t)>("posix_fallocate64");
    return function(file, at, length);
}

int ftruncate(int file, off_t length)
{
    FAIL_OR_CALL(ftruncate, int (*)(int, off_t), file, length);
}

int ftruncate64(int file, off64_t length)
{
    FAIL_OR_CALL(ftruncate64, int (*)(int, off64_t), file, length);
}

int link(const char* from, const char* to)
{
    FAIL_OR_CALL(link, int (*)(const char*, const char*), from, to);
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags)
{
    FAIL_OR_CALL(linkat, int (*)(int, const char*, int, const char*, int), fromFolder, from,
                 toFolder, to, flags);
}

// The C library's streams make their calls inside the library, out of reach: the stream
// functions fail themselves. A failed write or flush leaves the stream as a full disk would
// (its bytes not written); a failed close closes it all the same.
std::FILE* fopen(const char* path, const char* mode)
{
    if (failHere("fopen")) {
        errno = failWith;
        return nullptr;
    }
    static const auto function = real<std::FILE* (*)(const char*, const char*)>("fopen");
    return function(path, mode);
}

std::FILE* fopen64(const char* path, const char* mode)
{
    if (failHere("fopen64")) {
        errno = failWith;
        return nullptr;
    }
    static const auto function = real<std::FILE* (*)(const char*, const char*)>("fopen64");
    return function(path, mode);
}

size_t fwrite(const void* bytes, size_t size, size_t count, std::FILE* stream)
{
    if (failHere("fwrite")) {
        errno = failWith;
        return 0;
    }
    static const auto function
        = real<size_t (*)(const void*, size_t, size_t, std::FILE*)>("fwrite");
    return function(bytes, size, count, stream);
}

int fputs(const char* text, std::FILE* stream)
{
    if (failHere("fputs")) {
        errno = failWith;
        return EOF;
    }
    static const auto function = real<int (*)(const char*, std::FILE*)>("fputs");
    return function(text, stream);
}

int vfprintf(std::FILE* stream, const char* format, va_list arguments)
{
    if (failHere("vfprintf")) {
        errno = failWith;
        return -1;
    }
    static const auto function = real<int (*)(std::FILE*, const char*, va_list)>("vfprintf");
    return function(stream, format, arguments);
}

int fprintf(std::FILE* stream, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int printed = vfprintf(stream, format, arguments);
    va_end(arguments);
    return printed;
}

int fflush(std::FILE* stream)
{
    if (failHere("fflush")) {
        errno = failWith;
        return EOF;
    }
    static const auto function = real<int (*)(std::FILE*)>("fflush");
    return function(stream);
}

int fclose(std::FILE* stream)
{
    static const auto function = real<int (*)(std::FILE*)>("fclose");
    const int closed = function(stream);
    if (failHere("fclose")) {
        errno = failWith;
        return EOF;
    }
    return closed;
}

} // extern "C"
