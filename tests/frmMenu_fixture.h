#pragma once
// The notification window with its recording fakes, shared by the frmMenu test files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "deployment.h"
#include "fakes/fakes.h"
#include "notifier/frmMenu.h"
#include "platform/paths.h"
#include "text/modLangue.h"

namespace fs = std::filesystem;
using fakes::Call;
using fakes::Only;
using fakes::Without;

namespace menutest {

const std::string kTopmost = "window.SetWindowPos(-1,0,0,0,0,3)";
const std::string kMinimise = "window.SetWindowState(1)";
const std::string kNormal = "window.SetWindowState(0)";
const std::string kVisible = "window.SetVisible(true)";
const std::string kInvisible = "window.SetVisible(false)";
const std::string kHourglass = "desktop.SetMousePointer(11)";
const std::string kDefaultCursor = "desktop.SetMousePointer(0)";
const std::string kChunk = "inet.GetChunk(1024)";
const std::string kDoEvents = "desktop.DoEvents()";
const std::string kExeName = "Tavorin" + std::string(kExecutableSuffix);

inline std::string DefaultPage() {
    return std::string("http://") + deployment::kPublisherHost + "/tavorin.php";
}

// The window, its fakes and a real program folder for Param.ini.
class FrmMenuTest : public ::testing::Test {
  protected:
    FrmMenuTest() {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("tavorin-frm-" + std::to_string(random()));
        fs::create_directories(folder_);
        files.programFolder = folder_.string();
        files.exeName = kExeName;
    }
    ~FrmMenuTest() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string Folder() const { return folder_.string(); }
    std::string InFolder(const std::string& name) const { return Folder() + kPathSeparator + name; }

    void WriteParamIni(const std::string& body) {
        std::ofstream(folder_ / "Param.ini", std::ios::binary) << "[Param]\r\n" << body;
    }

    // Start-up, then a clean log for the step under test.
    void Load() {
        form.Form_Load();
        log.clear();
    }

    // Ticks at which a timer tick sent a request, out of count ticks.
    std::vector<int> RequestTicks(int count) {
        std::vector<int> ticks;
        for (int tick = 1; tick <= count; ++tick) {
            log.clear();
            timer.Timer();
            if (!Only(log, "inet.Execute").empty()) ticks.push_back(tick);
        }
        return ticks;
    }

    // A completed download of the given pieces; returns what it logged.
    CallLog Complete(std::initializer_list<std::string> pieces) {
        inet.Serve(pieces);
        log.clear();
        inet.StateChanged(kStateResponseCompleted);
        return log;
    }

    bool Shown(const CallLog& entries) { return !Only(entries, "browser.Navigate").empty(); }

    fs::path folder_;
    CallLog log;
    FakeWindow window{log};
    FakeBrowser browser{log};
    FakeTransfer inet{log};
    FakeTimer timer{log};
    FakeTray tray{log};
    FakePopupMenu menu{log};
    FakeMessageBox messageBox{log};
    FakeShell shell{log};
    FakeFileSystem files{log};
    FakeDesktop desktop{log};
    FakeUserKeyStore keys{log};
    SharedSettings settings;
    frmMenu form{
        settings,
        {window, browser, inet, timer, tray, menu, messageBox, shell, files, desktop, keys}};
};

}  // namespace menutest
