// A picture file opened for reading by a decoder. Only a regular file (or a link to one) is
// opened, without waiting: a pipe or a device named like a picture would block the program
// or never end. Reads stop at the size the file had when it was opened, so that a file
// whose reads never end (some /proc entries) cannot hold the loader either.
#pragma once

#include <QtGlobal>

#include <cstdio>
#include <memory>
#include <string>

struct PictureStreamCloser
{
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using PictureStream = std::unique_ptr<std::FILE, PictureStreamCloser>;

class PictureFile
{
public:
    // fileName: the name's bytes as they are, so that names that are not UTF-8 open too.
    explicit PictureFile(const std::string& fileName);
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    bool isOpen() const { return descriptor >= 0; }
    // The size in bytes when it was opened.
    qint64 size() const { return length; }
    // The position the next read starts at.
    qint64 pos() const { return position; }

    // Reads up to count bytes from the current position, never past size(); the number of
    // bytes read, less than count at the end, on an error or when a read would block.
    qint64 read(void* into, qint64 count);
    // Moves the position to offset (0 to size()); false outside.
    bool seek(qint64 offset);

    // A buffered stream over read() for the libraries that read through one; it holds its
    // own 64 KiB buffer and must be closed before this object goes. Null when closed.
    PictureStream stream();

private:
    int descriptor = -1;
    qint64 length = 0;
    qint64 position = 0;
    std::unique_ptr<char[]> buffer;
};
