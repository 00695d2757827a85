#pragma once
// The program's run after the application object exists: the single-instance check (a
// start with a running instance hands its file over and ends), then the windows and the
// event loop until the measuring window closes.

#include <QStringList>
#include <functional>

// arguments: the command-line arguments after the program name. windowsReady runs once
// the windows exist, before the loop. Returns the exit code.
int RunQuvar(const QStringList& arguments, const std::function<void()>& windowsReady = {});

// The whole program as main() runs it: the heap's settings and the font configuration read
// ahead first, then the application object with its style and prompts, then RunQuvar with
// the command-line arguments. Returns the exit code.
int RunQuvarProgram(int& argc, char** argv, const std::function<void()>& windowsReady = {});

// Opens a file a starting process handed over; false when it failed (its error box comes
// after the reply, so the sender does not wait for the user). While a dialog or message
// box is open the file is accepted and opened once none is.
bool OpenHandedOverFile(const QString& path);
