#pragma once
// The application's eleven windows, each reachable through its global object: the measuring
// and preview windows are created at start, the dialogs when they are first used.

#include <QStringList>
#include <vector>

class QWidget;

// Creates the measuring and preview windows (the measuring window gets the command-line
// arguments after the program name), returns them in creation order, and lets the dialogs'
// global objects make them on first use.
std::vector<QWidget*> CreateApplicationWindows(const QStringList& arguments);

// Destroys every window made, in reverse order, and clears the global objects.
void DestroyApplicationWindows();
