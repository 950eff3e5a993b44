#include "StartUp.h"

#include "LogHandler.h"
#include "TAVO_DSK_GUI.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QResource>
#include <QGuiApplication>
#include <QScreen>
#include <QtDebug>

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

int run(int argc, char** argv)
{
    const bool fullScreenMode = argc > 1;
    if (!QDir(QStringLiteral("logs")).exists()) {
        QDir().mkdir(QStringLiteral("logs"));
    }
    qInstallMessageHandler(logMessageHandler);
    qInfo("GUI Run");

    QApplication app(argc, argv);
    initResources();
    applyApplicationFont();

    TAVO_DSK_GUI window(nullptr, fullScreenMode);
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
    return app.exec();
}

} // namespace StartUp
