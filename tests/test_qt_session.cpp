// The session set-up around QApplication; each case runs in a process of its own (CTest).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/qt/qt_session.h"

namespace {

struct EnvCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> set;  // nullptr value: unset
    const char* expectedPlatform;                          // nullptr: left unset
};

void Apply(const EnvCase& c) {
    for (const char* name : {"WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM", "DISPLAY"})
        qunsetenv(name);
    for (const auto& [name, value] : c.set)
        if (value) qputenv(name, value);
}

TEST(QtSession, WaylandSessionsRunOnX11UnlessThePlatformIsNamed) {
    const EnvCase cases[] = {
        {"wayland with XWayland", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, "xcb"},
        {"session type only", {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}}, "xcb"},
        {"platform named",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}},
         "wayland"},
        {"no XWayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, nullptr},
        {"plain X11", {{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}, nullptr},
    };
    for (const EnvCase& c : cases) {
        Apply(c);
        QtSession session;
        if (c.expectedPlatform)
            EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), c.expectedPlatform) << c.name;
        else
            EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) << c.name;
    }
}

TEST(QtSession, NoSessionBusMeansNoneIsStarted) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());

    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    { QtSession session; }
    EXPECT_EQ(qgetenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:");

    // The user's bus socket is found by libdbus itself: leave the choice to it.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QFile socket(runtime.filePath("bus"));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    { QtSession session; }
    EXPECT_FALSE(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"));

    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/1000/bus");
    { QtSession session; }
    EXPECT_EQ(qgetenv("DBUS_SESSION_BUS_ADDRESS"), "unix:path=/run/user/1000/bus");
}

TEST(QtSession, StandardButtonsFollowTheDesktopLanguage) {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_fr.qm"))
        GTEST_SKIP() << "qt6-translations-l10n is not installed";
    qputenv("LANG", "fr_FR.UTF-8");
    qunsetenv("LANGUAGE");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QtSession session;
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    session.Started(app);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "&Oui");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Open"), "Ouvrir");
}

}  // namespace
