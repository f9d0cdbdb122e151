#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "builder/frmParam.h"
#include "deployment.h"
#include "platform/distribution.h"
#include "platform/paths.h"
#include "settings/ini_encoding.h"
#include "settings/modIni.h"
#include "text/modLangue.h"

namespace {
constexpr int kShowNormal = 1;
constexpr int kQuestion = vbYesNo + vbQuestion;
constexpr int kError = vbOKOnly + vbCritical;

#ifdef _WIN32
constexpr bool kWindowsFileNames = true;
constexpr const char* kMailWorkingFolder = "C:\\";
#else
constexpr bool kWindowsFileNames = false;
constexpr const char* kMailWorkingFolder = "";
#endif

// The product's own name is kept for the builder itself.
constexpr std::string_view kProductName = "Tavorin";

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsDeviceName(std::string_view name) {
    // Windows reserves the device names whatever follows a dot, and ignores blanks before it.
    std::string stem = Upper(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$")
        return true;
    if (!stem.starts_with("COM") && !stem.starts_with("LPT")) return false;
    // A digit 1-9, or the superscript one, two or three that Windows takes for theirs.
    const std::string_view number = std::string_view(stem).substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\u00B9" ||
           number == "\u00B2" || number == "\u00B3";
}

// RFC 6068: everything but the unreserved characters and a few harmless delimiters is
// escaped, so that "&", "#", "%" or a line break in a value cannot cut the address.
std::string PercentEncode(std::string_view text) {
    static constexpr std::string_view kKept = "-._~!$'()*,;:@";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) && byte < 0x80) {
            out += c;
        } else if (kKept.find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}
}  // namespace

bool IsUsableFileName(std::string_view name, bool windowsRules) {
    if (name.empty() || name == "." || name == "..") return false;
    // Text that is not UTF-8 (a lone surrogate from an edit box) names no file faithfully.
    if (!EncodeIniText(name, TextEncoding::Utf8)) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) return false;
        if (windowsRules && std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
            return false;
    }
    if (!windowsRules) return true;
    if (name.back() == ' ' || name.back() == '.') return false;
    return !IsDeviceName(name);
}

// ---------------------------------------------------------------- distribution list

void frmParam::SSTab1_Click(int PreviousTab) {
    if (ports_.view.Tab() == 1 && PreviousTab == 0) cmdShowFiles_Click();
}

void frmParam::cmdShowFiles_Click() {
    IParamView& view = ports_.view;
    const std::string name = view.Caption(Ctl::txtName);
    if (name.empty() || name == kProductName) {
        ports_.messageBox.MsgBox("No valid application Name", kError);
        view.SetTab(0);
        return;
    }
    view.SetCaption(Ctl::lblProgramFiles, Text(24) + name + ")");
    view.SetCaption(Ctl::lblFolder, JoinPath(ports_.fileSystem.BuilderBaseFolder(), name));
    view.ListClear(Ctl::lstProgr);
    view.ListClear(Ctl::lstSyst);
    view.ListAdd(Ctl::lstProgr, name + std::string(kExecutableSuffix));
    view.ListAdd(Ctl::lstProgr, "Info.ico");
    view.ListAdd(Ctl::lstProgr, "Param.ini");
    for (const auto part : ProgramParts()) view.ListAdd(Ctl::lstProgr, std::string(part));
    for (const auto part : SystemParts()) view.ListAdd(Ctl::lstSyst, std::string(part));
}

void frmParam::chkAddSyst_Click() {
    const bool shown = ports_.view.CheckValue(Ctl::chkAddSyst) == vbChecked;
    ports_.view.SetVisible(Ctl::lblSystemFiles, shown);
    ports_.view.SetVisible(Ctl::lstSyst, shown);
}

// ---------------------------------------------------------------- local copy

void frmParam::cmdSelfMake_Click() {
    IParamView& view = ports_.view;
    IFileSystem& files = ports_.fileSystem;
    IMessageBox& messageBox = ports_.messageBox;

    const std::string folder = view.Caption(Ctl::lblFolder);
    if (folder.empty()) {
        messageBox.MsgBox("Complet the name of your Tavorin and generate files before proceed",
                          kError);
        return;
    }
    const std::string page = view.Caption(Ctl::txtWebPage);
    if (page.empty()) {
        messageBox.MsgBox("Complete url page for your Tavorin before proced", kError);
        view.SetTab(0);
        return;
    }
    const std::string name = view.Caption(Ctl::txtName);
    const std::string base = files.BuilderBaseFolder();
    if (!TargetNamesUsable(base, folder, name)) return;

    if (!files.FolderExists(base) && !CreateFolder(base)) return;
    // Links lead out of the target folder (its own files, the program's folder...).
    if (files.IsLink(folder)) {
        Error("Cannot create the copy in " + folder + ": it is a link, not a folder of its own");
        return;
    }
    if (files.FolderExists(folder)) {
        if (messageBox.MsgBox("Folder " + folder + Text(38), kQuestion) == vbNo) return;
    } else if (!CreateFolder(folder)) {
        return;
    }

    const std::string suffix(kExecutableSuffix);
    const std::string copy = JoinPath(folder, name + suffix);
    std::vector<std::string> targets = {JoinPath(folder, "Info.ico"), copy,
                                        JoinPath(folder, "Param.ini")};
    for (const auto part : ProgramParts()) targets.push_back(JoinPath(folder, std::string(part)));
    for (const std::string& target : targets) {
        if (files.IsLink(target)) {
            Error("Cannot write " + target + ": it is a link; remove it and create again");
            return;
        }
    }

    const std::string icon = view.Caption(Ctl::lblIconPath);
    if (!icon.empty() && files.FileExists(icon) && !Copy(icon, JoinPath(folder, "Info.ico")))
        return;
    const std::string program =
        JoinPath(files.ProgramFolder(), StripExecutableSuffix(files.ExeName()) + suffix);
    if (!Copy(program, copy)) return;
    // The parts the program runs with, so that the copy is whole.
    for (const auto part : ProgramParts()) {
        const std::string file(part);
        if (!Copy(JoinPath(files.ProgramFolder(), file), JoinPath(folder, file))) return;
    }
    if (!WriteSettings(JoinPath(folder, "Param.ini"), page)) return;

    if (messageBox.MsgBox(Text(37), kQuestion) == vbNo) return;
    ports_.shell.ShellExecute("open", copy, "", folder, kShowNormal);
}

bool frmParam::TargetNamesUsable(const std::string& base, const std::string& folder,
                                 const std::string& name) {
    // Only a name straight below the base folder: ".." or a separator would write elsewhere.
    const std::string below = JoinPath(base, "");
    if (!folder.starts_with(below)) {
        Error("Cannot create " + folder + ": it is not a folder inside " + base);
        return false;
    }
    const std::string folderName = folder.substr(below.size());
    if (!IsUsableFileName(folderName, kWindowsFileNames)) {
        Error("Cannot create " + folder + ": \"" + folderName +
              "\" cannot be used as a folder name");
        return false;
    }
    // Without an executable suffix the program could land on the icon or the settings file.
    bool takesOtherFile =
        kExecutableSuffix.empty() && (Upper(name) == "INFO.ICO" || Upper(name) == "PARAM.INI");
    for (const auto part : ProgramParts())
        takesOtherFile = takesOtherFile || Upper(name) == Upper(part);
    if (!IsUsableFileName(name, kWindowsFileNames) || takesOtherFile) {
        Error("Cannot create the program in " + folder + ": \"" + name +
              "\" cannot be used as a file name");
        return false;
    }
    return true;
}

bool frmParam::CreateFolder(const std::string& path) {
    std::string reason;
    if (ports_.fileSystem.CreateFolder(path, reason)) return true;
    Error("Cannot create the folder " + path + ": " + reason);
    return false;
}

bool frmParam::Copy(const std::string& from, const std::string& to) {
    std::string reason;
    if (ports_.fileSystem.CopyFile(from, to, reason)) return true;
    Error("Cannot copy " + from + " to " + to + ": " + reason);
    return false;
}

bool frmParam::WriteSettings(const std::string& file, const std::string& page) {
    const std::pair<const char*, std::string> values[] = {
        {"Page", page},
        {"Langue", settings_.LanguageCode},
        {"DelaiInfo", ports_.view.Caption(Ctl::cmbDelai)},
    };
    for (const auto& [key, value] : values) {
        std::string reason;
        // A copy started with a settings file that was not written would watch another page.
        if (!WriteIniValue("Param", key, value, file, &reason)) {
            Error(std::string("Cannot write ") + key + " into " + file + ": " + reason);
            return false;
        }
    }
    return true;
}

void frmParam::Error(const std::string& text) {
    ports_.messageBox.MsgBox(text, kError);
}

// ---------------------------------------------------------------- order e-mail and payment

std::string OrderMailAddress(std::int16_t kind, const std::string& name, const std::string& page,
                             const std::string& period, const std::string& languageCode) {
    const bool english = languageCode == "en";
    std::string address = std::string("mailto:") + deployment::kOrderEmail + "?subject=";
    address += kind == 1 ? "Tavorin%20installation&body=" : "Tavorin%20ProVersion&body=";
    address += english ? "Tavorin%20Name:%20" : "Tavorin%20Nom:%20";
    address += PercentEncode(name) + "%0A";
    address += english ? "Url:%20" : "Url%20:%20";
    address += PercentEncode(page) + "%0A";
    address += english ? "Period:%20" : "Delai:%20";
    address += PercentEncode(period) + "%0A";
    address += english ? "Payment%20info%20(please%20complete):%20"
                       : "Info%20paiement%20(completer%20SVP):%20";
    address += "%0A%0A";
    address += english ? "icon%20file%20(add%20attachement)" : "Icône%20(joindre)";
    address += "%0A";
    return address;
}

std::string PaymentAddress(int product, const std::string& languageCode) {
    return std::string("http://") + deployment::kPaymentHost +
           "/page20.php?product=" + std::to_string(product) +
           "&lang=" + PercentEncode(languageCode);
}

void frmParam::PrepareMail(std::int16_t kind) {
    IParamView& view = ports_.view;
    const std::string address =
        OrderMailAddress(kind, view.Caption(Ctl::txtName), view.Caption(Ctl::txtWebPage),
                         view.Caption(Ctl::cmbDelai), settings_.LanguageCode);
    ports_.shell.ShellExecute("", address, "", kMailWorkingFolder, kShowNormal);
}

void frmParam::cmdPayInstall_Click() {
    ports_.shell.ShellExecute("open", PaymentAddress(1, settings_.LanguageCode), "", "",
                              kShowNormal);
}

void frmParam::cmdPayPro_Click() {
    ports_.shell.ShellExecute("open", PaymentAddress(2, settings_.LanguageCode), "", "",
                              kShowNormal);
}
