#include "platform/qt/qt_session.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QNetworkProxyFactory>
#include <QTranslator>

namespace {
QtMessageHandler previousHandler = nullptr;

// What the engine says about the graphics we turned off on purpose (a static page needs no
// GPU): not news to the user.
void DropChosenGraphicsNotes(QtMsgType type, const QMessageLogContext& context,
                             const QString& message) {
    for (const char* note : {"QXcbIntegration: Cannot create platform OpenGL context",
                             "No suitable graphics backend found"})
        if (message.startsWith(QLatin1String(note))) return;
    if (previousHandler) previousHandler(type, context, message);
}
}  // namespace

void SetLightEngineDefaults() {
    auto setDefault = [](const char* name, const char* value) {
        if (!qEnvironmentVariableIsSet(name)) qputenv(name, value);
    };
    // A static page needs no GPU: without a GL context the engine and its helpers take a
    // fraction of the memory. Renderers still start from the sandboxed zygote; the second,
    // unsandboxed one would only serve helpers this program never uses.
    setDefault("QT_XCB_GL_INTEGRATION", "none");
    setDefault("QT_QUICK_BACKEND", "software");
    setDefault("QTWEBENGINE_CHROMIUM_FLAGS",
               "--disable-gpu --disable-gpu-compositing --disable-background-networking "
               "--no-unsandboxed-zygote --enable-low-end-device-mode");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QtSession::QtSession() {
    previousHandler = qInstallMessageHandler(DropChosenGraphicsNotes);
    // The engine's start-up report; QT_LOGGING_RULES still turns it back on.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    // XWayland runs X11 programs in a Wayland session; a platform the user names wins.
    const bool wayland =
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
    if (wayland && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsSet("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        choseX11_ = true;
    }
    // Without a session bus, libdbus would autolaunch one through X11 for the tray's look
    // for a StatusNotifierItem host and for the browser engine, and that bus would outlive
    // us. No bus means no such host to find, so the look is skipped instead.
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime + "/bus")))
            qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    }
}

void QtSession::Started(QApplication& app) {
    // Programs we start (the uninstaller, a browser, a mail program) choose for themselves.
    if (choseX11_) qunsetenv("QT_QPA_PLATFORM");
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    // Standard buttons and the file dialog in the desktop's language; our own texts follow
    // the Langue setting.
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTexts);
    else
        delete qtTexts;
}

QtProgramApplication::QtProgramApplication() {
    session_.Started(app_);
    // No display name: X11 would append it to every title, and the configuration window's
    // title is exactly "Tavorin". An untitled window still shows the application name.
    QApplication::setApplicationName("Quorvellis");
    QApplication::setQuitOnLastWindowClosed(false);
}
