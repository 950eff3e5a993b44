// tavo_crash_probe: starts its log and crash report exactly as TAVO_DSK does, logs a line, then
// crashes from inside Qt's event loop (where TAVO_DSK's code runs) the way its argument says:
//   null            a write through a null pointer (SIGSEGV; access violation on Windows)
//   stack           unbounded recursion (SIGSEGV; stack overflow on Windows)
//   abort           std::abort() (SIGABRT)
//   raise NUMBER    raise(NUMBER), for the other fatal signals
// A test program only: never installed, so nothing a user has can crash on purpose.
#include "StartUp.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtDebug>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

// The sanitizers would report the null write themselves and exit instead of letting it fault.
#if defined(__GNUC__)
__attribute__((no_sanitize("undefined")))
#endif
void writeThroughNull()
{
    volatile int* volatile target = nullptr;
    *target = 1;
}

// Each frame keeps a page alive and adds to the result after the call, so it is no tail call.
int recurse(volatile char* previous, int depth)
{
    volatile char page[4096];
    page[0] = previous ? previous[0] : 0;
    page[sizeof page - 1] = static_cast<char>(depth);
    if (depth < 0) {
        return 0;
    }
    return recurse(page, depth + 1) + page[sizeof page - 1];
}

} // namespace

int main(int argc, char** argv)
{
    const CrashReport crashReport = StartUp::startLogging();
    QCoreApplication app(argc, argv);
    const char* mode = argc > 1 ? argv[1] : "";
    const int number = argc > 2 ? std::atoi(argv[2]) : 0;
    qInfo("Crash probe: %s %d", mode, number);
    QTimer::singleShot(0, &app, [mode, number] {
        if (std::strcmp(mode, "null") == 0) {
            writeThroughNull();
        } else if (std::strcmp(mode, "stack") == 0) {
            qInfo("Crash probe: recursion ended at %d", recurse(nullptr, 0));
        } else if (std::strcmp(mode, "abort") == 0) {
            std::abort();
        } else if (std::strcmp(mode, "raise") == 0) {
            std::raise(number);
        }
        qWarning("Crash probe: still running after '%s'", mode);
        QCoreApplication::exit(2);
    });
    return app.exec();
}
