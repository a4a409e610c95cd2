// A file size limit makes writing fail the way a full disk does: a write past the limit
// fails (the signal that would end the test is ignored meanwhile). Shared by the modules'
// tests (included by path); Unix only.
#pragma once

#include <csignal>

#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = bytes;
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() { Lift(); }

    // The old limit and signal handling back, before the test looks at what was written.
    void Lift()
    {
        if (lifted)
            return;
        lifted = true;
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }

private:
    rlimit old {};
    void (*oldHandler)(int) = nullptr;
    bool lifted = false;
};
