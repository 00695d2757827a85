#pragma once
// The items of the display-size box: "Original Size (G)", "Fit to Window (F)", then the
// fixed widths (or heights, when sizes refer to the height).

#include <QString>
#include <QStringList>
#include <array>

constexpr int FotoSizeOriginal = 0;
constexpr int FotoSizeFitToWindow = 1;
constexpr std::array<int, 27> FotoSizeLengths = {
    80,   160,  240,  320,  360,  400,  480,  600,  640,  768,  800,  960,  1024, 1080,
    1280, 1440, 1536, 1600, 1680, 1920, 2048, 2240, 2560, 3200, 3648, 4096, 4608};
constexpr int FotoSizeItemCount = 2 + int(FotoSizeLengths.size());

QStringList FotoSizeItems(bool useWidth);

// The size wording that start-up and Preferences give: `ImgWidthLabel` reads "Set Image
// Width in pixels:" and an item from the third on, "Width = 640" or an earlier rewording,
// becomes "Width in pixels = 640" ("Height" for both when useWidth is false). An item
// without " =" stays as it is.
QString ImgWidthLabelCaption(bool useWidth);
QString ResizeItemCaption(const QString& item, bool useWidth);

// The display-size item a key chooses: F fit to window, G original size, the digits 3 to 9
// and 0 the lengths 320 to 960 (768 has no key); -1 for any other key. key is the
// character's code ('F', '3').
int FotoSizeItemForKey(int key);
