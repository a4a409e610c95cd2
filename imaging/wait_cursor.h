// The wait cursor for a long operation: shown while the guard lives, the previous cursor
// put back when it ends, also when an exception escapes. Without a QGuiApplication (pure
// tests) it does nothing.
#pragma once

class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool active;
};
