#include "builder/frmParam.h"

#include "platform/page_address.h"
#include "text/modLangue.h"

namespace {
// Captions set by id when the window loads, in the order they are set.
struct CaptionId {
    Ctl control;
    std::int16_t id;
    const char* tail = "";
};

// Before and after the notes, which copy each other.
constexpr CaptionId kCaptionsBeforeNotes[] = {
    {Ctl::cmdTestWebPage, 9},  {Ctl::cmdBrowse, 10},   {Ctl::cmdUndo, 11},
    {Ctl::cmdShowFiles, 12},   {Ctl::cmdSelfMake, 13}, {Ctl::cmdPayInstall, 14},
    {Ctl::cmdMailInstall, 15}, {Ctl::cmdPayPro, 16},   {Ctl::cmdMailPro, 17},
    {Ctl::lblWeb, 18},         {Ctl::lblIcon, 19},     {Ctl::lblInfo0, 20},
};

constexpr CaptionId kCaptionsAfterNotes[] = {
    // The placeholder stands for the application name until the files list is made.
    {Ctl::lblInfoFree, 22},    {Ctl::lblName, 23}, {Ctl::lblProgramFiles, 24, "xxxxx)"},
    {Ctl::lblSystemFiles, 25}, {Ctl::lblDest, 26}, {Ctl::lblInstall, 27},
    {Ctl::chkAddSyst, 28},     {Ctl::lblPro, 29},
};

constexpr int kPeriodFifteen = 1;  // "5", "15", "30", "60"
}  // namespace

frmParam::frmParam(const SharedSettings& settings, ParamPorts ports)
    : settings_(settings), ports_(ports) {
    ports_.WebBrowser1.DocumentComplete = [this] { WebBrowser1_DocumentComplete(); };
    ports_.WebBrowser1.DocumentClick = [this] { return DocInfo_onclick(); };
    ports_.WebBrowser1.DocumentContextMenu = [this] { return DocInfo_oncontextmenu(); };
    // The preview is inert: nothing the page does takes it elsewhere.
    ports_.WebBrowser1.PageNavigation = [] { return false; };
    ports_.view.Click = [this](Ctl control) { OnClick(control); };
    ports_.view.TabClick = [this](int previousTab) { SSTab1_Click(previousTab); };
    ports_.view.Activate = [this] { Form_Activate(); };
    ports_.view.QueryUnload = [this] { Form_QueryUnload(); };
}

void frmParam::OnClick(Ctl control) {
    switch (control) {
        case Ctl::cmdUndo:
            cmdUndo_Click();
            break;
        case Ctl::cmdTestWebPage:
            cmdTestWebPage_Click();
            break;
        case Ctl::cmdBrowse:
            cmdBrowse_Click();
            break;
        case Ctl::cmdShowFiles:
            cmdShowFiles_Click();
            break;
        case Ctl::cmdSelfMake:
            cmdSelfMake_Click();
            break;
        case Ctl::cmdPayInstall:
            cmdPayInstall_Click();
            break;
        case Ctl::cmdMailInstall:
            cmdMailInstall_Click();
            break;
        case Ctl::cmdPayPro:
            cmdPayPro_Click();
            break;
        case Ctl::cmdMailPro:
            cmdMailPro_Click();
            break;
        case Ctl::chkAddSyst:
            chkAddSyst_Click();
            break;
        default:
            break;
    }
}

std::string frmParam::Text(std::int16_t id) const {
    return LookupText(id, settings_.LanguageCode);
}

void frmParam::Form_Load() {
    IParamView& view = ports_.view;
    view.SetTabCaption(0, Text(6));
    view.SetTabCaption(1, Text(7));
    view.SetTabCaption(2, Text(8));
    view.SetTab(0);

    for (const auto& [control, id, tail] : kCaptionsBeforeNotes)
        view.SetCaption(control, Text(id) + tail);
    // Copied from what the labels show, so the three notes always agree.
    view.SetCaption(Ctl::lblInfo1, view.Caption(Ctl::lblInfo0));
    view.SetCaption(Ctl::lblInfo2, view.Caption(Ctl::lblInfo1) + "\n" + Text(21));

    for (const auto& [control, id, tail] : kCaptionsAfterNotes)
        view.SetCaption(control, Text(id) + tail);

    view.ListClear(Ctl::lstInstall);
    for (std::int16_t id = 30; id <= 34; ++id) view.ListAdd(Ctl::lstInstall, Text(id));

    view.ComboSelect(Ctl::cmbDelai, kPeriodFifteen);

    view.SetCaption(Ctl::lblEvery0, Text(35));
    view.AutoSize(Ctl::lblEvery0);
    view.SetCaption(Ctl::lblEvery1, Text(36));
    view.AutoSize(Ctl::lblEvery1);

    // The texts differ in length between the languages: close the sentence up.
    const TwipsRect before = view.Rect(Ctl::lblEvery0);
    TwipsRect period = view.Rect(Ctl::cmbDelai);
    period.Left = before.Left + before.Width;
    view.Move(Ctl::cmbDelai, period);
    TwipsRect after = view.Rect(Ctl::lblEvery1);
    after.Left = period.Left + period.Width;
    view.Move(Ctl::lblEvery1, after);
}

void frmParam::Form_Activate() {
    const std::string path = ports_.view.Caption(Ctl::lblIconPath);
    if (path.empty() || !ports_.fileSystem.FileExists(path)) return;
    // A file that is no picture leaves Image1 empty; the path stays the icon to copy.
    ports_.view.LoadPicture(Ctl::Image1, path);
}

void frmParam::Form_QueryUnload() {
    ports_.WebBrowser1.AttachDocument(false);
    DocInfo = false;
}

void frmParam::cmdUndo_Click() {
    ports_.view.Close();
}

void frmParam::cmdTestWebPage_Click() {
    ports_.WebBrowser1.Navigate(PageAddress(ports_.view.Caption(Ctl::txtWebPage)));
}

void frmParam::WebBrowser1_DocumentComplete() {
    ports_.WebBrowser1.AttachDocument(true);
    DocInfo = true;
}

void frmParam::cmdBrowse_Click() {
    // The remembered name is not cleared: a cancel after a choice applies that choice again.
    ports_.CommonDialog1.ShowOpen("Your Tavorin Icon", "Ico file | *.ico", CommonDialog1_FileName);
    if (CommonDialog1_FileName.empty()) return;
    ports_.view.SetCaption(Ctl::lblIconPath, CommonDialog1_FileName);
    ports_.view.LoadPicture(Ctl::Image1, ports_.view.Caption(Ctl::lblIconPath));
}
