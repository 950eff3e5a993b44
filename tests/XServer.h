#pragma once

// A private Xvfb display for tests that drive the real program like a user, with xdotool.
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

class XServer
{
public:
    ~XServer()
    {
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            if (!xvfb.waitForFinished(3000)) {
                xvfb.kill();
                xvfb.waitForFinished(3000);
            }
        }
    }

    // Starts Xvfb on a free display; it writes the display number it took to our pipe. With no
    // DPI given, Xvfb's own default (100) stands, as for anyone who starts it plainly. An X server
    // forgets its resources when its last client leaves, unless told to keep them.
    bool start(const QSize& size = QSize(1920, 1080), int dpi = 0, bool keepResources = false)
    {
        QStringList args = {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")};
        if (dpi > 0) {
            args << QStringLiteral("-dpi") << QString::number(dpi);
        }
        if (keepResources) {
            args << QStringLiteral("-noreset");
        }
        xvfb.start(QStringLiteral("Xvfb"), args);
        if (!xvfb.waitForStarted(5000)) {
            return false;
        }
        QByteArray out;
        const bool ok = QTest::qWaitFor(
            [&] {
                out += xvfb.readAllStandardOutput();
                return out.contains('\n') || xvfb.state() == QProcess::NotRunning;
            },
            10000);
        bool number = false;
        const int n = out.trimmed().toInt(&number);
        if (!ok || !number) {
            return false;
        }
        display = QStringLiteral(":%1").arg(n);
        return true;
    }

    QString name() const { return display; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

    // Sets the X resources of the root window, as xrdb does for a desktop's settings.
    bool setResources(const QByteArray& text) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("-f"), QStringLiteral("RESOURCE_MANAGER"),
                 QStringLiteral("8s"), QStringLiteral("-set"), QStringLiteral("RESOURCE_MANAGER"),
                 QString::fromLatin1(text)});
        return p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // Runs xdotool on this display; returns its standard output, or a null array on failure.
    QByteArray xdotool(const QStringList& args, int ms = 15000) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForFinished(ms) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            p.kill();
            p.waitForFinished(1000);
            return QByteArray();
        }
        QByteArray out = p.readAllStandardOutput();
        return out.isNull() ? QByteArray("") : out;
    }

private:
    QProcess xvfb;
    QString display;
};
