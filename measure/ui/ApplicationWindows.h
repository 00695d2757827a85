#pragma once
// The application's eleven windows, created once in a fixed order, each reachable
// through its global object.

#include <QStringList>
#include <vector>

class QWidget;

// Creates the windows (the measuring window gets the command-line arguments after the
// program name) and returns them in creation order.
std::vector<QWidget*> CreateApplicationWindows(const QStringList& arguments);

// Destroys them in reverse order and clears the global objects.
void DestroyApplicationWindows();
