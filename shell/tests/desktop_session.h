// A real desktop for the tests that need one: an X server of its own (Xvfb, on a free display
// number) with a real window manager (openbox) on it, and the xcb platform for the program.
// Both are ended by their process ids when the session ends. A session that cannot start is
// a failure of the test, never a reason to skip it.
#pragma once

#include <QApplication>
#include <QTest>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class DesktopSession
{
public:
    DesktopSession()
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) {
            failure = "no pipe for the display number";
            return;
        }
        // Xvfb writes the display number it chose to the descriptor once it accepts clients.
        server = spawn({"Xvfb", "-displayfd", std::to_string(pipeEnds[1]), "-screen", "0",
                        "1280x1024x24", "-nolisten", "tcp"});
        close(pipeEnds[1]);
        // Ten seconds at most: a server that neither starts nor exits is a failure too.
        std::string display;
        char c = 0;
        pollfd readable {pipeEnds[0], POLLIN, 0};
        while (poll(&readable, 1, 10000) == 1 && read(pipeEnds[0], &c, 1) == 1 && c != '\n')
            display += c;
        close(pipeEnds[0]);
        if (server <= 0 || display.empty()) {
            failure = "Xvfb did not start";
            return;
        }
        setenv("DISPLAY", (":" + display).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);

        // openbox runs its start-up command once it manages the screen.
        const std::filesystem::path ready = std::filesystem::temp_directory_path()
            / ("vistrel-wm-ready-" + std::to_string(getpid()));
        std::filesystem::remove(ready);
        manager = spawn({"openbox", "--sm-disable", "--startup", "touch " + ready.string()});
        for (int i = 0; i < 200 && manager > 0 && !std::filesystem::exists(ready); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (manager <= 0 || !std::filesystem::exists(ready))
            failure = "openbox did not start";
        std::filesystem::remove(ready);
    }

    ~DesktopSession()
    {
        end(manager);
        end(server);
    }

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Empty when the server and the window manager run.
    const std::string& Failure() const { return failure; }

private:
    // The child ends with the test, also when the test is killed (a time-out, an abort)
    // and its destructors never run.
    static pid_t spawn(const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(1);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        return pid > 0 ? pid : 0;
    }

    static void end(pid_t pid)
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    pid_t server = 0;
    pid_t manager = 0;
    std::string failure;
};

// The main of a test whose windows need the desktop: the session starts before the
// application, which connects to the server it names, and a session that cannot start fails
// the test.
#define DESKTOP_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        DesktopSession desktop;                                                                    \
        if (!desktop.Failure().empty()) {                                                          \
            std::fprintf(stderr, "FAIL: no desktop for the test: %s\n",                            \
                         desktop.Failure().c_str());                                               \
            return 1;                                                                              \
        }                                                                                          \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
