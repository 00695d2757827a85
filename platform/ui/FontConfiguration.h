#pragma once
// The system's font configuration, read on a thread of its own from the start of main.
// Reading it (some fifty files) takes milliseconds that the first text of the first window
// would wait for; meanwhile the application object is built and a running instance asked.

// Starts the reading; does nothing where text is not drawn through fontconfig. Called once,
// at the start of main.
void StartReadingFontConfiguration();

// Returns once the reading has ended; at once when none was started. Called before the
// first window is built.
void WaitForFontConfiguration();
