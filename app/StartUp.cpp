#include "StartUp.h"

#include "LinkSession.h"
#include "LogHandler.h"
#include "Protocol.h"
#include "TAVO_DSK_GUI.h"
#include "TermSignals.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QResource>
#include <QGuiApplication>
#include <QScreen>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <vector>

static void initTavoResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {

#if !defined(Q_OS_WIN)
// Windows reports a logical DPI of 96 times the user's scale (100 %, 125 %, 150 %, ...). An X
// server without an Xft.dpi setting reports its physical DPI instead, rounded through whole
// millimetres: 100 dpi would scale by 1.04 and 144 dpi by 1.499, blurring every picture and
// missing the window's size by pixels. So on X the factor of each screen is taken in steps of
// a quarter, as Windows offers them, measured by a short-lived application before the real one.
// Returns false when every screen is at 100 %: Qt ignores a given factor of 1 and would fall
// back to the physical DPI, so scaling then stays off.
bool snapX11ScaleFactors(int argc, char** argv)
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (qEnvironmentVariableIsSet("QT_SCREEN_SCALE_FACTORS") || (!platform.isEmpty() && !platform.startsWith("xcb"))) {
        return true;
    }
    // Qt takes the arguments it knows out of the vector: the probe works on a copy.
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    int probeArgc = argc;
    QStringList factors;
    {
        QGuiApplication probe(probeArgc, args.data());
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            return true;
        }
        for (const QScreen* screen : QGuiApplication::screens()) {
            const double quarters = std::round(screen->logicalDotsPerInch() / 96.0 * 4.0);
            factors << QString::number(std::max(1.0, quarters / 4.0));
        }
    }
    if (std::all_of(factors.cbegin(), factors.cend(), [](const QString& f) { return f == QLatin1String("1"); })) {
        return false;
    }
    qputenv("QT_SCREEN_SCALE_FACTORS", factors.join(QLatin1Char(';')).toLatin1());
    return true;
}
#endif

} // namespace

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

void enableHighDpiScaling(int argc, char** argv)
{
#if !defined(Q_OS_WIN)
    const bool scaled = snapX11ScaleFactors(argc, argv);
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
}

int run(int argc, char** argv)
{
    const bool fullScreenMode = argc > 1;
    if (!QDir(QStringLiteral("logs")).exists()) {
        QDir().mkdir(QStringLiteral("logs"));
    }
    qInstallMessageHandler(logMessageHandler);
    qInfo("GUI Run");

    enableHighDpiScaling(argc, argv);
    QApplication app(argc, argv);
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
