#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/qt/qt_browser.h"
#include "platform/qt/qt_session.h"
#include "platform/qt/qt_viewer.h"

// The part of the program that shows pages: started by the program, for its notification
// window or its configuration window's preview, and by nothing else.
int main() {
    const char* role = std::getenv(kViewerRoleVariable);
    const bool preview = role && std::strcmp(role, kViewerRolePreview) == 0;
    unsetenv(kViewerRoleVariable);
    const int channel = ViewerChannelFromEnvironment();
    if (channel < 0) {
        std::fputs("tavorin-viewer: only Tavorin starts this program\n", stderr);
        return 2;
    }
    SetLightEngineDefaults();
    QtBrowser::RegisterSchemes();

    QtProgramApplication app;
    return preview ? RunPreview(channel) : RunViewer(channel);
}
