#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <string>

#include "platform/file_dialog.h"

// CommonDialog1 on QFileDialog, modal to its owner window.
class QtFileDialog final : public IFileDialog {
  public:
    explicit QtFileDialog(QWidget* owner) : owner_(owner) {}
    void ShowOpen(const std::string& title, const std::string& filter,
                  std::string& fileName) override;

    // "Ico file | *.ico" (description, bar, patterns; pairs repeat) in Qt's form:
    // "Ico file (*.ico)", pairs joined by ";;".
    static QString QtFilter(const std::string& filter);

  private:
    QPointer<QWidget> owner_;
};
