// The program: its application object and its windows.
#pragma once

#include <QApplication>
#include <memory>

class TSetup;

namespace orbex {

// Shows an exception that escapes an event handler in the standard error box; the program
// goes on.
class Application : public QApplication {
  public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The main window. Its dialogs (the review, the save target, the about box, the serial port
// settings) and the fleet window are made at their first use.
std::unique_ptr<TSetup> createWindows();

// Qt's Russian translation installed in the application; false when it is not found.
bool installTranslations(QCoreApplication& app);

// The program's command line: [--help | --version | [--fleet DIR] [FILE]]. `output` is what
// --help and --version print (then the program exits 0); `error` goes to standard error with
// `exitCode`.
struct CommandLine {
    QString file;
    QString fleet;  // --fleet DIR: the fleet window over DIR
    QString output;
    QString error;
    int exitCode = 0;
};
CommandLine parseCommandLine(const QStringList& args);

// The whole program: windows, an optional file to open, the message loop. 0, or 2 for a bad
// command line.
int runProgram(int argc, char** argv);

}  // namespace orbex
