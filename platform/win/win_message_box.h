#pragma once
// Windows only.
#include "platform/message_box.h"

class WinMessageBox final : public IMessageBox {
  public:
    int MsgBox(const std::string& text, int style) override;
};
