#pragma once
// Recording fakes for the configuration window's view, its file dialog and its host;
// they log into the same CallLog as the fakes of fakes.h.

#include <string>
#include <string_view>
#include <vector>

#include "builder/frmParam.h"
#include "builder/param_host.h"
#include "builder/param_view.h"
#include "fakes/fakes.h"
#include "platform/file_dialog.h"

namespace fakes {
inline std::string_view CtlName(Ctl control) {
    static constexpr std::string_view kNames[] = {
        "SSTab1",         "cmdUndo",   "lblName",  "txtName",     "lblWeb",       "txtWebPage",
        "cmdTestWebPage", "lblIcon",   "Image1",   "lblIconPath", "cmdBrowse",    "WebBrowser1",
        "lblInfo1",       "lblEvery0", "cmbDelai", "lblEvery1",   "lblInfoFree",  "lblProgramFiles",
        "lblDest",        "lblFolder", "lstProgr", "cmdSelfMake", "cmdShowFiles", "lblSystemFiles",
        "chkAddSyst",     "lstSyst",   "Line1",    "lblInstall",  "lstInstall",   "cmdPayInstall",
        "cmdMailInstall", "lblInfo0",  "lblPro",   "lblStep0",    "lblStep1",     "cmdPayPro",
        "cmdMailPro",     "lblInfo2",
    };
    static_assert(std::size(kNames) == static_cast<std::size_t>(Ctl::Count));
    return kNames[static_cast<std::size_t>(control)];
}
}  // namespace fakes

// The configuration window's controls. Starts, and after Reset() starts again, as a newly
// created window shows them before its load procedure. Setting another tab raises
// TabClick as a click does; UserSelectsTab does the same for the user without logging.
class FakeParamView final : public IParamView {
  public:
    static constexpr int kTwipsPerChar = 90;  // what AutoSize gives a label per byte

    explicit FakeParamView(CallLog& log) : log_(log) { Reset(); }

    void Reset() {
        captions = {{Ctl::txtName, "MyTavorin"},  {Ctl::lblWeb, "Web page adress"},
                    {Ctl::lblStep0, "1"},         {Ctl::lblStep1, "2"},
                    {Ctl::lblEvery0, "Regarder"}, {Ctl::lblEvery1, "min"},
                    {Ctl::lblInfo0, "Ce menu"},   {Ctl::lblInfo1, "Ce menu"},
                    {Ctl::lblInfo2, "Ce menu"}};
        tabCaptions = {"Tab 0", "Tab 1", "Tab 2"};
        tab = 0;
        lists = {{Ctl::lstInstall, {"Nom", "Adresse", "Periode", "Icone"}}};
        checks.clear();
        hidden = {Ctl::lblSystemFiles, Ctl::lstSyst, Ctl::cmdShowFiles};
        pictures.clear();
        rects = {{Ctl::lblEvery0, {360, 6480, 2000, 195}},
                 {Ctl::cmbDelai, {2640, 6435, 855, 315}},
                 {Ctl::lblEvery1, {3600, 6480, 700, 195}}};
        closed = false;
    }

    std::string Caption(Ctl control) override {
        const auto found = captions.find(control);
        return found == captions.end() ? std::string() : found->second;
    }
    void SetCaption(Ctl control, const std::string& text) override {
        log_.push_back(fakes::Call("view.SetCaption", fakes::CtlName(control), text));
        captions[control] = shows ? shows(control, text) : text;
    }
    void SetTabCaption(int index, const std::string& text) override {
        log_.push_back(fakes::Call("view.SetTabCaption", index, text));
        tabCaptions.at(static_cast<std::size_t>(index)) = text;
    }
    int Tab() override { return tab; }
    void SetTab(int index) override {
        log_.push_back(fakes::Call("view.SetTab", index));
        Select(index);
    }
    void UserSelectsTab(int index) { Select(index); }
    void ListClear(Ctl list) override {
        log_.push_back(fakes::Call("view.ListClear", fakes::CtlName(list)));
        lists[list].clear();
    }
    void ListAdd(Ctl list, const std::string& item) override {
        log_.push_back(fakes::Call("view.ListAdd", fakes::CtlName(list), item));
        lists[list].push_back(item);
    }
    // The period list: its text is the selected entry.
    void ComboSelect(Ctl combo, int index) override {
        log_.push_back(fakes::Call("view.ComboSelect", fakes::CtlName(combo), index));
        captions[combo] = kPeriods.at(static_cast<std::size_t>(index));
    }
    int CheckValue(Ctl checkBox) override { return checks[checkBox]; }
    bool Visible(Ctl control) override { return hidden.count(control) == 0; }
    void SetVisible(Ctl control, bool visible) override {
        log_.push_back(fakes::Call("view.SetVisible", fakes::CtlName(control), visible));
        if (visible)
            hidden.erase(control);
        else
            hidden.insert(control);
    }
    TwipsRect Rect(Ctl control) override { return rects[control]; }
    void Move(Ctl control, const TwipsRect& r) override {
        log_.push_back(
            fakes::Call("view.Move", fakes::CtlName(control), r.Left, r.Top, r.Width, r.Height));
        rects[control] = r;
    }
    void AutoSize(Ctl label) override {
        log_.push_back(fakes::Call("view.AutoSize", fakes::CtlName(label)));
        rects[label].Width = kTwipsPerChar * static_cast<int>(Caption(label).size());
    }
    bool LoadPicture(Ctl picture, const std::string& path) override {
        log_.push_back(fakes::Call("view.LoadPicture", fakes::CtlName(picture), path));
        const bool decodes = undecodable.count(path) == 0;
        pictures[picture] = decodes ? path : std::string();
        return decodes;
    }
    void Show() override { log_.push_back("view.Show()"); }
    void Close() override {
        log_.push_back("view.Close()");
        if (QueryUnload) QueryUnload();
        closed = true;
    }

    static constexpr std::array<const char*, 4> kPeriods = {"5", "15", "30", "60"};
    std::map<Ctl, std::string> captions;
    std::vector<std::string> tabCaptions;
    int tab = 0;
    std::map<Ctl, std::vector<std::string>> lists;
    std::map<Ctl, int> checks;
    std::set<Ctl> hidden;
    std::map<Ctl, std::string> pictures;  // path shown; empty: cleared
    std::map<Ctl, TwipsRect> rects;
    std::set<std::string> undecodable;  // files that are no picture
    // What a control shows for the caption it is given; unset: the caption itself.
    std::function<std::string(Ctl, const std::string&)> shows;
    bool closed = false;

  private:
    void Select(int index) {
        const int previous = tab;
        tab = index;
        if (previous != index && TabClick) TabClick(previous);
    }

    CallLog& log_;
};

// The file-open dialog: each ShowOpen takes the next queued answer, a path or nullopt for
// a cancel, which leaves the remembered name as it was.
class FakeFileDialog final : public IFileDialog {
  public:
    explicit FakeFileDialog(CallLog& log) : log_(log) {}
    void ShowOpen(const std::string& title, const std::string& filter,
                  std::string& fileName) override {
        log_.push_back(fakes::Call("dialog.ShowOpen", title, filter, fileName));
        if (answers.empty()) return;
        const std::optional<std::string> answer = answers.front();
        answers.pop_front();
        if (answer) fileName = *answer;
    }

    std::deque<std::optional<std::string>> answers;

  private:
    CallLog& log_;
};

// Creates the configuration window on first use and again after it was closed, as the
// toolkit host does: the view comes back as designed, then the load procedure runs.
class FakeParamHost final : public IParamHost {
  public:
    // ports.view must be view.
    FakeParamHost(CallLog& log, const SharedSettings& settings, FakeParamView& view,
                  ParamPorts ports)
        : log_(log), settings_(settings), view_(view), ports_(ports) {}

    frmParam& Window() override {
        if (!form_ || view_.closed) {
            log_.push_back("host.Create()");
            view_.Reset();
            // A closed window may still be on the stack of its own Close: replaced only now.
            form_ = std::make_unique<frmParam>(settings_, ports_);
            form_->Form_Load();
        }
        return *form_;
    }
    void Show() override {
        log_.push_back("host.Show()");
        view_.Show();
    }
    // The window while it exists, without creating it.
    frmParam* Existing() { return form_ && !view_.closed ? form_.get() : nullptr; }

  private:
    CallLog& log_;
    const SharedSettings& settings_;
    FakeParamView& view_;
    ParamPorts ports_;
    std::unique_ptr<frmParam> form_;
};
