#pragma once
// Internal to the capture library: GStreamer and GObject, loaded when the capture side is
// first used rather than at the program's start. They are a dozen libraries, and every
// library loaded at start slows the start.
//
// The capture code calls them by their own names. Each name is a small stub of ours that
// jumps to the library's function; the first call through any stub loads the libraries and
// fills them all. The functions the stubs stand for are listed in GstreamerCalls.inc.

#include <QString>

// Loads the libraries (once; thread-safe) and fills the stubs and the type variables that
// GStreamer's headers read. An empty string when done, else what is missing. Called before
// the first GStreamer call; a stub called first loads them itself, and ends the program
// with the message when that fails.
QString LoadGstreamer();

// After gst_init: the type variables that GStreamer's headers read, filled from the library.
void FillGstreamerTypes();
