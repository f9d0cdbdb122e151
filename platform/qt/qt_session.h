#pragma once
#include <QApplication>
#include <QByteArray>

// What the desktop session asks of the program around the creation of QApplication.
class QtSession {
  public:
    // Before QApplication: picks X11 under Wayland (the corner placement and the topmost
    // window need it) and keeps D-Bus from starting a bus that would outlive the program.
    QtSession();
    // After QApplication: the desktop's proxy and the desktop's language for Qt's own texts.
    void Started(QApplication& app);

  private:
    bool choseX11_ = false;
};

// Before QApplication: the engine without a GPU and with its lighter settings, unless the
// user's environment says otherwise.
void SetLightEngineDefaults();

// The application object of the program and of its viewer, in the session. The program reads
// no command line, Qt's own options (-platform, -stylesheet...) included.
class QtProgramApplication {
  public:
    QtProgramApplication();

  private:
    QtSession session_;  // first: it acts before the application object
    char name_[8] = "Tavorin";
    char* argv_[2] = {name_, nullptr};
    int argc_ = 1;
    QApplication app_{argc_, argv_};
};
