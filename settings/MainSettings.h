#pragma once
// The main settings file "Quvar.ini" in the program folder: the loader that runs once at
// start-up, the writer, the appearance subset that can also go to and come from a file of
// the user's choice, and the captions that follow the length unit. The window applies what
// these compute; nothing here touches a widget.

#include "MainSettingsFields.h"

#include <QString>
#include <QStringList>

#include <array>

class IniFile;

QString MainSettingsFileName(); // "Quvar.ini"

// The program's version as the file records it (not used when reading).
constexpr int MainSettingsRevision = 3006;

// The default of [Copyright] Text.
QString DefaultCopyrightText();

// Location and coordinates taken from a folder's name: "Pond A #52.1N 4.3E $2024-05-17"
// gives "Pond A " and "52.1N 4.3E $2024-05-17".
struct FolderLocation {
    QString Location;
    QString Coordinates;
    bool operator==(const FolderLocation&) const = default;
};

// Splits the last component of folder at its first "#"; without "#" the whole component
// is the location and the coordinates are empty.
FolderLocation SplitFolderLocation(const QString& folder);

// folder when it exists; otherwise My Pictures + "/QUVAR/FromCamera", created with its
// parents. The caller's own folder field stays as it is.
QString LocationFolder(const QString& folder);

// Reads "Quvar.ini" from main.ProgramFolder into main (every missing key takes its
// default), replaces a missing watch or photo folder by the one under My Pictures and
// creates it, and returns the photo folder's location for ImageLocation and
// ImageCoordinates. main.NewSampleDate must hold today's date: it changes only when the
// photo folder's name carries a valid "$" date.
//
// The window then applies main.Placement and main.FotoSizeIndex, runs the crop-format
// command for main.SelectionFormat and updates the captions below. After the calibration
// file is read it calls BoundMCSystemChoice.
FolderLocation LoadMainSettings(TMainSettings& main);

// DefaultMCSystem and CurrentMCSystem outside the configured systems become 0. The file
// is read before the calibration file, so the bound can only be applied afterwards.
void BoundMCSystemChoice(TMainSettings& main);

// Rewrites "Quvar.ini" whole (keys nobody writes are gone) with main.Placement holding the
// window's normal rectangle and state and main.FotoSizeIndex the display-size item. Throws
// "Unable to write to <file>" and leaves the old file whole when the write fails, also for
// a folder or text value holding a line break.
void SaveMainSettings(const TMainSettings& main);

// The appearance sections ([MeasuringWindow], [Copyright], [Label] and the three font
// sections) on any open file; other sections are not touched. The caller saves the file.
void WriteMeasuringSettings(IniFile& ini, const TMainSettings& main);
void ReadMeasuringSettings(const IniFile& ini, TMainSettings& main);

// The five font keys; each missing key keeps the font's current value.
void WriteFontSection(IniFile& ini, const QString& section, const FontRecord& font);
void ReadFontSection(const IniFile& ini, const QString& section, FontRecord& font);

// Captions that follow the length unit: "Insert Scale 5 µm" ... for InsertScale0 to
// InsertScale6, the CalLabel text "µm / pixel" and "Select Crop Area (µm)".
std::array<QString, 7> InsertScaleCaptions(const QString& unit);
QString CalLabelCaption(const QString& unit);
QString SelectCropAreaCaption(const QString& unit);

// Tags of the crop-size items U10, U15, ... U500, in that order.
constexpr std::array<int, 16> CropSizeTags = {10, 15, 20,  25,  30,  35,  40,  50,
                                              60, 80, 100, 120, 150, 200, 250, 500};

// "Width in µm = 10", "Height in mm = 1.5": the tag shown in the unit (tag / 10 for "mm"
// and "mil"), "Width" when useWidth, "Height" otherwise, the other one when swapped.
QString CropSizeCaption(int tag, const QString& unit, bool useWidth, bool sizeMenusSwapped);
