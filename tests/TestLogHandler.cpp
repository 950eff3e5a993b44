// The log file: one line per message with the exact fields and level tags, one file per run
// named by the first message's time, in "logs" under the working directory.
#include "LogHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestLogHandler : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir workDir;
    QString previousDir;

private slots:
    void initTestCase()
    {
        QVERIFY(workDir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(workDir.path()));
        QVERIFY(QDir().mkdir(QStringLiteral("logs")));
    }

    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void formatLine_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("tag");
        QTest::newRow("debug") << int(QtDebugMsg) << QStringLiteral(" [DEBUG]");
        QTest::newRow("info") << int(QtInfoMsg) << QStringLiteral(" [INFO]");
        QTest::newRow("warning") << int(QtWarningMsg) << QStringLiteral(" [WARNING]");
        QTest::newRow("critical") << int(QtCriticalMsg) << QStringLiteral(" [Critical]");
        QTest::newRow("fatal") << int(QtFatalMsg) << QStringLiteral(" [FATAL]");
    }

    void formatLine()
    {
        QFETCH(int, type);
        QFETCH(QString, tag);
        const QMessageLogContext empty;
        QCOMPARE(LogHandler::formatLine(QtMsgType(type), empty, QStringLiteral("GUI Run"),
                                        QStringLiteral("2026-01-02 03:04:05.006")),
                 QStringLiteral("2026-01-02 03:04:05.006") + tag + QStringLiteral(" [@0] GUI Run"));
        const QMessageLogContext context("file.cpp", 42, "void f()", "cat");
        QCOMPARE(LogHandler::formatLine(QtMsgType(type), context, QStringLiteral("m"), QStringLiteral("T")),
                 QStringLiteral("T") + tag + QStringLiteral(" [void f()@42] m"));
    }

    void unknownTypeWritesNothing()
    {
        QVERIFY(LogHandler::formatLine(QtMsgType(42), QMessageLogContext(), QStringLiteral("m"), QStringLiteral("T"))
                    .isNull());
    }

    // The first message fixes the file; every line lands there, stream-style ones formatted by Qt.
    void oneFilePerRun()
    {
        const QDateTime before = QDateTime::currentDateTime();
        const QtMessageHandler previous = qInstallMessageHandler(logMessageHandler);
        qInfo("GUI Run");
        qInfo() << "SendDataToFrame : " << 9;
        qCritical("bad");
        qDebug().noquote() << "text" << QStringLiteral("quoted?");
        qInstallMessageHandler(previous);

        const QString path = LogHandler::currentLogFilePath();
        QCOMPARE(QFileInfo(path).absolutePath(), QDir(workDir.path()).absoluteFilePath(QStringLiteral("logs")));
        const QRegularExpression name(
            QStringLiteral("^TAVO GUI LOG (\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d)\\.txt$"));
        const auto match = name.match(QFileInfo(path).fileName());
        QVERIFY2(match.hasMatch(), qPrintable(path));
        const QDateTime named = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd hh-mm-ss"));
        QVERIFY(named.secsTo(before) <= 1 && before.secsTo(named) <= 1);

        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 4);
        const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}"));
        for (const QString& line : lines) {
            QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
        }
        QCOMPARE(lines[0].mid(23), QStringLiteral(" [INFO] [@0] GUI Run"));
        // The first line's time is the file's name, to the second.
        QCOMPARE(lines[0].left(19), named.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        QCOMPARE(lines[1].mid(23), QStringLiteral(" [INFO] [@0] SendDataToFrame :  9"));
        QCOMPARE(lines[2].mid(23), QStringLiteral(" [Critical] [@0] bad"));
        QCOMPARE(lines[3].mid(23), QStringLiteral(" [DEBUG] [@0] text quoted?"));

        // Text mode: each line ends the platform's way.
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
#ifdef _WIN32
        QCOMPARE(bytes.count("\r\n"), 4);
        QCOMPARE(bytes.count('\n'), 4);
#else
        QCOMPARE(bytes.count('\n'), 4);
        QVERIFY(!bytes.contains('\r'));
#endif
    }

    void missingFolderDropsMessages()
    {
        const QString path = LogHandler::currentLogFilePath();
        QVERIFY(QDir(QStringLiteral("logs")).removeRecursively());
        logMessageHandler(QtInfoMsg, QMessageLogContext(), QStringLiteral("lost"));
        QVERIFY(!QFile::exists(path));
        // Once the folder is back, logging resumes in the same file.
        QVERIFY(QDir().mkdir(QStringLiteral("logs")));
        logMessageHandler(QtWarningMsg, QMessageLogContext(), QStringLiteral("back"));
        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith(QStringLiteral(" [WARNING] [@0] back")));
    }
};

QTEST_GUILESS_MAIN(TestLogHandler)
#include "TestLogHandler.moc"
