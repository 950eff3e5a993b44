#pragma once

#include "CrashReport.h"

#include <QString>

#include <memory>

// Start-up of TAVO_DSK: log folder and handler, application font, main window, event loop.
namespace StartUp {

// Registers the compiled-in pictures and fonts (they live in a static library).
void initResources();

// Makes the first family of the font resource the application's bold default font. Keeps
// Qt's default font, and returns false, when the resource yields no family.
bool applyApplicationFont(const QString& fontResource = QStringLiteral(":/fonts/NanumGothicBold.ttf"));

// Qt's high-DPI scaling, with fractional scale factors; before the application object exists.
// What it returns is to be kept until the application object has been made.
std::shared_ptr<void> enableHighDpiScaling(int argc, char** argv);

// The first steps of a run: "logs" under the working directory, the log handler, the "GUI Run"
// line, then the crash report beside that log. Kept for the whole run.
CrashReport startLogging();

int run(int argc, char** argv);

} // namespace StartUp
