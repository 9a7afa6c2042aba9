#pragma once

#include <QStringList>

namespace tolvan {

class ServerSettings;

// How the main window first shows itself.
enum class StartupStyle { kNormal = 0, kMinimized = 1, kTray = 2 };

// True when the arguments (without the program name), joined by blanks and lower-cased, are
// exactly "-login": the start made by the log-in entry.
bool IsLoginStart(const QStringList& arguments);

// ConfigStartupStyle for a log-in start; any other start, and any stored value other than
// 1 or 2, is a normal window.
StartupStyle StartupStyleFor(const QStringList& arguments, const ServerSettings& settings);

}  // namespace tolvan
