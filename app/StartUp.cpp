#include "StartUp.h"

#include "CrashReport.h"
#include "LinkSession.h"
#include "LogHandler.h"
#include "Protocol.h"
#include "SecureUtil.h"
#include "TAVO_DSK_GUI.h"
#include "TermSignals.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QResource>
#include <QScreen>
#include <QtDebug>

#include <memory>

#if !defined(Q_OS_WIN)
#include "X11ScaleProbe.h"
#endif

static void initTavoResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace StartUp {

void initResources()
{
    initTavoResources();
}

bool applyApplicationFont(const QString& fontResource)
{
    // The font is megabytes: an uncompressed resource is handed over where it lies in the
    // program image instead of being copied onto the heap first.
    const QResource resource(fontResource);
    const int id = resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression && resource.data()
                       ? QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
                             reinterpret_cast<const char*>(resource.data()), static_cast<int>(resource.size())))
                       : QFontDatabase::addApplicationFont(fontResource);
    const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) {
        qWarning().noquote() << "Font resource yields no family, keeping the default font:" << fontResource;
        return false;
    }
    QFont font(families.first());
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    font.setWeight(75);
    QApplication::setFont(font);
    return true;
}

std::shared_ptr<void> enableHighDpiScaling(int argc, char** argv)
{
    std::shared_ptr<void> hold;
#if !defined(Q_OS_WIN)
    const bool scaled = X11ScaleProbe::snapScaleFactors(argc, argv, hold);
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    const bool scaled = true;
#endif
    // Without scaling a 4K screen at 150 % or 200 % shows a small window with tiny text.
    // PassThrough keeps fractional factors such as 1.25 and 1.5 instead of rounding them.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, scaled);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    return hold;
}

CrashReport startLogging()
{
    if (!QDir(QStringLiteral("logs")).exists()) {
        QDir().mkdir(QStringLiteral("logs"));
    }
    qInstallMessageHandler(logMessageHandler);
    qInfo("GUI Run");
    // The first line has fixed the log's name; a crash from here on leaves its trace beside it.
    return CrashReport(LogHandler::currentLogFilePath(), LogHandler::startTimeText());
}

int run(int argc, char** argv)
{
    const bool fullScreenMode = argc > 1;
    const CrashReport crashReport = startLogging();
    if (!SecureUtil::initCrypto()) {
        qCritical("libcrypto could not be initialised; the key agreement will fail");
    }

    std::shared_ptr<void> probeConnection = enableHighDpiScaling(argc, argv);
    QApplication app(argc, argv);
    probeConnection.reset();
    initResources();
    applyApplicationFont();

    LinkSession session(QHostAddress(QHostAddress::LocalHost), Protocol::kLinkPort);
    TAVO_DSK_GUI window(nullptr, fullScreenMode, session);
    window.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (fullScreenMode) {
        // Without a window manager that honours the full-screen state, the geometry still covers the screen.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            window.setGeometry(screen->geometry());
        }
        window.setWindowState(window.windowState() | Qt::WindowFullScreen | Qt::WindowActive);
        window.showFullScreen();
    } else {
        window.show();
    }
    window.raise();
    window.activateWindow();

    // Every ending goes through the window's close, so the exit notice leaves while the link is
    // open: SIGTERM, SIGINT and SIGHUP on Linux, and on Windows the end of the session. Qt asks
    // for the session's data first (WM_QUERYENDSESSION) and then quits: the window closes at the
    // first, since Qt's own closing of every window stops at a box waiting for its OK.
    TermSignals termSignals;
    QObject::connect(&termSignals, &TermSignals::received, &window, &QWidget::close);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.close(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &QWidget::close);
    return app.exec();
}

} // namespace StartUp
