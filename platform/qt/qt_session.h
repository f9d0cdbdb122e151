#pragma once
#include <QByteArray>

class QApplication;

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
