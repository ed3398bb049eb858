// The program: its application object and its five windows.
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

// The main window, then the review dialog, the save-target dialog, the about box and the
// serial port dialog, in this order; the four dialogs are hidden until needed.
std::unique_ptr<TSetup> createWindows();

// The whole program: windows, an optional file to open, the message loop. Always 0.
int runProgram(int argc, char** argv);

}  // namespace orbex
