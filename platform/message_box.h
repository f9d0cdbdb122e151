#pragma once
#include <string>

inline constexpr int vbOKOnly = 0;
inline constexpr int vbYesNo = 4;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbDefaultButton2 = 256;
inline constexpr int vbOK = 1;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// Modal message box with the application's title. style combines the constants above.
class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    virtual int MsgBox(const std::string& text, int style) = 0;
};
