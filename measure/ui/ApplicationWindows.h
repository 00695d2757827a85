#pragma once
// The application's eleven windows, each reachable through its global object: the measuring
// window is created at start, the others when they are first used (the preview window at
// start too when its command server is to run).

#include <QStringList>
#include <vector>

class QWidget;

// Creates the measuring window (it gets the command-line arguments after the program name),
// and the preview window when "CamView.ini" has its server running; returns them in creation
// order, and lets the other global objects make their windows on first use.
std::vector<QWidget*> CreateApplicationWindows(const QStringList& arguments);

// Destroys every window made, in reverse order, and clears the global objects.
void DestroyApplicationWindows();
