#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

#include "platform/desktop.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/timer.h"

class QtDesktop final : public IDesktop {
  public:
    int ScreenWidthTwips() override;
    int ScreenHeightTwips() override;
    void SetMousePointer(int pointer) override;
    void DoEvents() override;

  private:
    bool busy_ = false;
    QElapsedTimer sinceEvents_;
};

class QtTimer final : public QObject, public ITimer {
    Q_OBJECT
  public:
    QtTimer();
    void Start(int intervalMs) override;

  private:
    QTimer timer_;
};

// Hand-offs to the desktop: programs start detached, anything else (a mail address,
// a web page) goes to the desktop's handler for it.
class QtShell final : public IShell {
  public:
    explicit QtShell(std::function<void(int)> endProcess) : endProcess_(std::move(endProcess)) {}
    void ShellExecute(const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int showCommand) override;
    void EndProcess(int exitCode) override { endProcess_(exitCode); }

  private:
    std::function<void(int)> endProcess_;
};

class QtMessageBox final : public IMessageBox {
  public:
    int MsgBox(const std::string& text, int style) override;
};
