// The application object. An error that escapes a command ends that command, and the user is
// told what it was; the program goes on.
#pragma once

#include <QApplication>

class Application : public QApplication
{
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
