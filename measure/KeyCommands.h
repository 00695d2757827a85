#pragma once
// The measuring window's single-key commands, the browsing step through the folder's
// images and the decision on a drop: rules only, the window carries them out.

#include "measure/MainFields.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <Qt>

enum class KeyCommand {
    None,
    DisplaySize,   // choose the display-size item Item, then resize
    Redraw,        // rebuild at the current size with mode Item (1 or 2)
    Preview,       // P
    ShowLastImage, // D
    SwapCrop,      // Q
    ResizeCropFrame,
    Escape,
    NextImage,     // Space
    PreviousImage, // Backspace
};

struct KeyAction {
    KeyCommand Command = KeyCommand::None;
    int Item = 0;
};

// What a key pressed in the window does. Letters and digits count only without Ctrl, Alt
// or Meta (Shift and the keypad are ignored); the arrows only while the free area is
// being drawn (measureMode 5), Q only while a fixed-size frame waits (modes 3 and 7).
KeyAction KeyCommandFor(int key, Qt::KeyboardModifiers modifiers, int measureMode);

// One step through ListBox1. Tag is the list's new position; Load the file to load, or
// empty when the end was reached, and then Message says which end.
struct BrowseStep {
    int Tag = -1;
    QString Load;
    QString Message;
};
BrowseStep NextInFolder(const TFileList& list);
BrowseStep PreviousInFolder(const TFileList& list);

// The step of one arrow key for the free-area frame: the calibration in use, per mil or
// per mm when those are the length unit.
double CropFrameKeyStep(double calibration, const QString& lengthUnit);

// A drop on the image area: the one local file to open, or the refusal to show. An empty
// drop gives neither.
struct DropDecision {
    QString Path;
    QString Refusal;
};
DropDecision DecideDrop(const QList<QUrl>& urls);

inline const QString OnlyOneDropText =
    QStringLiteral("You can drop only one image file at a time!");
inline const QString NotAnImageText = QStringLiteral("Unsupported image file, or not an image!");
