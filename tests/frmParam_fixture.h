#pragma once
// The configuration window with its recording fakes, shared by the frmParam test files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "builder/frmParam.h"
#include "deployment.h"
#include "fakes/param_fakes.h"
#include "platform/paths.h"
#include "text/modLangue.h"

namespace fs = std::filesystem;
using fakes::Call;
using fakes::Only;

namespace paramtest {

constexpr int kError = vbOKOnly + vbCritical;
constexpr int kQuestion = vbYesNo + vbQuestion;
const std::string kSuffix(kExecutableSuffix);
#ifdef _WIN32
const std::string kMailFolder = "C:\\";
#else
const std::string kMailFolder = "";
#endif

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::erase(text, '\r');
    return text;
}

inline void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline fs::path NewTemporaryFolder() {
    std::random_device random;
    const fs::path folder =
        fs::temp_directory_path() / ("tavorin-param-" + std::to_string(random()));
    fs::create_directories(folder);
    return folder;
}

// The window loaded in a language, its fakes, and a clean log.
class FrmParamTest : public ::testing::Test {
  protected:
    void Open(const std::string& language = "en") {
        settings.LanguageCode = language;
        form = std::make_unique<frmParam>(
            settings, ParamPorts{view, preview, dialog, messageBox, shell, *fileSystem});
        form->Form_Load();
        log.clear();
    }
    std::string Text(std::int16_t id) const { return LookupText(id, settings.LanguageCode); }
    // Entering the creation tab from the configuration tab, as the user does.
    void EnterCreationTab(const std::string& name) {
        view.captions[Ctl::txtName] = name;
        view.UserSelectsTab(0);
        view.UserSelectsTab(1);
    }
    std::string Folder(const std::string& name) {
        return JoinPath(fileSystem->BuilderBaseFolder(), name);
    }

    CallLog log;
    FakeParamView view{log};
    FakeBrowser preview{log};
    FakeFileDialog dialog{log};
    FakeMessageBox messageBox{log};
    FakeShell shell{log};
    FakeFileSystem files{log};
    IFileSystem* fileSystem = &files;
    SharedSettings settings;
    std::unique_ptr<frmParam> form;
};

}  // namespace paramtest
