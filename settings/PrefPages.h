#pragma once
// What the Preferences pages hold apart from the MC systems, as plain values: filled from
// the measuring window's settings at opening (or from a settings file), checked as a whole
// and then copied back in one step, so a bad field leaves every setting as it was. Also the
// rules the measuring and label pages follow: the scale sizes in per mille or pixels, the
// preview's height and background, the divisions list of a unit.

#include "FontRecord.h"
#include "MainSettingsFields.h"

#include <QDate>
#include <QString>
#include <QStringList>

// The five naming schemes; -1 stands for no box checked.
constexpr int NamingSchemeCount = 5;
QString NamingSchemeCaption(int scheme);
// Which of the prefix and counter controls a checked scheme enables.
bool SchemeUsesPrefix(int scheme);  // 3 and 4
bool SchemeUsesCounter(int scheme); // 2, 3 and 4
// The Save With Options dialog includes the magnification unless scheme 1 is the one.
bool IncludeMagForScheme(int scheme);

// The extension list of "Image type:".
QStringList ImageExtensions();

// Ranges of the up-downs.
struct UpDownRange {
    int Min;
    int Max;
};
constexpr UpDownRange ScaleWidthRange{1, 30};
constexpr UpDownRange ScaleMarginRange{1, 200};
constexpr UpDownRange ScaleTextHeightRange{5, 50};
constexpr UpDownRange MeasurePenWidthRange{1, 8};

// The three scale sizes in both units; the dialog's copies, so both survive a switch.
struct ScaleSizes {
    int WidthPromil = 20, WidthPx = 2;
    int MarginPromil = 50, MarginPx = 6;
    int TextHeightPromil = 50, TextHeightPx = 20;
    int Width(bool promil) const { return promil ? WidthPromil : WidthPx; }
    int Margin(bool promil) const { return promil ? MarginPromil : MarginPx; }
    int TextHeight(bool promil) const { return promil ? TextHeightPromil : TextHeightPx; }
    void SetWidth(bool promil, int v) { (promil ? WidthPromil : WidthPx) = v; }
    void SetMargin(bool promil, int v) { (promil ? MarginPromil : MarginPx) = v; }
    void SetTextHeight(bool promil, int v) { (promil ? TextHeightPromil : TextHeightPx) = v; }
    bool operator==(const ScaleSizes&) const = default;
};

// "Scale Height in promil", "Scale Margin in promil", "Text Height in promil" (or pixels).
struct ScaleSizeCaptions {
    QString Width, Margin, TextHeight;
};
ScaleSizeCaptions ScaleCaptions(bool promil);

// The measurement text: 70 % of the scale text height, integer division.
int MeasurementTextHeight(int scaleTextHeight);
// The preview's character height in pixels: in per mille of the work image's height (600
// pixels for an image at most 50 high), or the text height itself; never below 1.
int ScalePreviewPixelHeight(bool promil, int textHeight, int workImageHeight);
// A character height in pixels as a font size in points at 96 dots per inch, the way the
// stored fonts are drawn; halves round up.
int FontPointsForPixelHeight(int pixels);
// True when text of this colour is light and wants the darker background.
bool IsLightText(ColorRef color);

// The units of "Units" and the divisions list of a unit: the long list for "mil".
QStringList MeasureUnitItems();
QStringList ScaleDivisionItems(const QString& unit);
// The divisions position kept over a change of unit: at most the list's last item.
int DivisionsPositionForUnit(int position, const QString& unit);

// The page items of the three label-position boxes and "Set Dimensions".
QStringList PositionItems();
QStringList ObjectivePositionItems();
QStringList SetDimensionsItems();

// The page values.
struct PrefPageValues {
    // "Image Capture" and the camera folder of "Microscope and Camera"
    QString WatchFolder;
    bool SaveGrabbedFrames = true;
    QString PhotoFolder;
    QString SaveExtension;
    QDate SampleDate;
    QString Location;
    QString Coordinates;
    int CheckedScheme = -1;
    QString CounterText;
    QString Prefix;

    // "Measuring and Tools"
    bool ScaleAsPercentage = false;
    ScaleSizes Sizes;
    bool ScaleBlack = true;
    bool ShowScaleText = true;
    bool ScaleTransparent = true;
    int ScalePosition = 0; // -1 none checked
    bool ScaleType2 = false;
    int ScaleDivisions = 0;
    int MeasurePenWidth = 1;
    ColorRef MeasurePenColor = 0;
    ColorRef UnitBackColor = 0xFFFFFF;
    QString LengthUnit;
    bool AddUnit = false;
    bool UnitTransparancy = false;
    QString ArrowHeadText;
    bool FillArrow = true;
    FontRecord ScaleFont;

    // "Labels"
    FontRecord LabelFont;
    int LabelPosition = 0;
    QString WrapText;
    FontRecord CopyrightFont;
    QString CopyrightText;
    int CopyrightPosition = 0;
    int ObjectiveLabelPosition = 0;

    // "Miscellaneous"
    bool UseWidth = true;
    bool WriteBmpComment = true;
    bool WarningOnResize = true;
    bool WarningOnExternalFile = true;

    bool operator==(const PrefPageValues&) const = default;
};

// The pages as an opening fills them from the settings.
PrefPageValues PageValuesFrom(const TMainSettings& main);
// The measuring and label pages (and the copyright text) from main; the rest of values
// stays. What "Load Settings" shows after reading a file.
void TakeAppearanceFrom(const TMainSettings& main, PrefPageValues& values);

// The first field that OK could not take over, as a message that names it; empty when
// every field is good. keptScheme is the scheme in force, used when no box is checked.
QString PageValuesError(const PrefPageValues& values, int keptScheme);

// The photo folder is the camera folder or lies inside it.
bool FoldersConflict(const PrefPageValues& values);

// Copies the pages into main in the order OK applies them (after the MC systems): camera
// and photo folders, extension, date, location, naming, measuring, labels, "Set
// Dimensions" and the miscellaneous boxes. Throws QuvarError with PageValuesError's text,
// with main untouched, when a field is bad. Texts lose their line breaks.
void ApplyPageValues(const PrefPageValues& values, TMainSettings& main);
