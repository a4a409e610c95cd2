// What making the first window reads from the disk, read beforehand on a thread of its own
// while the program starts: the font database (the font configuration and the list of faces)
// and Qt's picture format plugins, which the menu bar's style icons ask for. The window's
// making then finds them ready instead of waiting for them on the interface thread.
#pragma once

#include <thread>

class StartWarmUp
{
public:
    // Begins reading; made after the application object. Where the system gives no thread,
    // nothing is read ahead and the window reads what it needs itself.
    StartWarmUp();
    // Waits for the reading to end.
    ~StartWarmUp();
    StartWarmUp(const StartWarmUp&) = delete;
    StartWarmUp& operator=(const StartWarmUp&) = delete;

private:
    std::thread reader;
};
