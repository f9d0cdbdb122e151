#include "platform/win/win_file_dialog.h"

#include <commdlg.h>

#include <vector>

namespace {
std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}
}  // namespace

std::wstring WinFileDialog::Filter(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = filter.find('|', start);
        parts.push_back(Trimmed(std::string_view(filter).substr(
            start, bar == std::string::npos ? std::string::npos : bar - start)));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::wstring result;
    // A lone pattern without a description describes itself.
    if (parts.size() == 1 && !parts[0].empty()) parts.push_back(parts[0]);
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        result += Utf8ToWide(parts[i]) + L'\0';
        result += Utf8ToWide(parts[i + 1]) + L'\0';
    }
    result += L'\0';
    return result;
}

void WinFileDialog::ShowOpen(const std::string& title, const std::string& filter,
                             std::string& fileName) {
    // The remembered name is offered again, as the dialog keeps it between openings.
    std::vector<wchar_t> buffer(32768, L'\0');
    const std::wstring remembered = Utf8ToWide(fileName);
    if (remembered.size() < buffer.size()) remembered.copy(buffer.data(), remembered.size());
    const std::wstring wideTitle = Utf8ToWide(title);
    const std::wstring wideFilter = Filter(filter);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_ && IsWindow(owner_) ? owner_ : nullptr;
    dialog.lpstrFilter = wideFilter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = wideTitle.c_str();
    // The program's folder stays the current one.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) return;  // cancelled: the remembered name stays
    fileName = WideToUtf8(buffer.data());
}
