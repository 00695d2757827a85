#include "PrefPages.h"

#include "PrefFolders.h"

#include "platform/Errors.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

// A text of digits only that fits an int; nothing for an empty text or any other one.
std::optional<int> Digits(const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar ch : text) {
        if (ch < u'0' || ch > u'9')
            return std::nullopt;
        value = value * 10 + (ch.unicode() - u'0');
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return int(value);
}

// The leading digits as a number: 0 without any, nothing when they do not fit an int.
std::optional<int> LeadingDigits(const QString& text) {
    int end = 0;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
        ++end;
    return end == 0 ? std::optional<int>(0) : Digits(text.left(end));
}

QString NotAnInteger(const QString& field, const QString& text) {
    return field + S(": '") + text + S("' is not a valid integer value");
}

// A line break would end the value in the settings file and the line in an image comment.
QString SingleLine(const QString& text) {
    QString line = text;
    line.replace(S("\r\n"), S(" ")).replace(u'\r', u' ').replace(u'\n', u' ');
    return line;
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n');
}

int EffectiveScheme(const PrefPageValues& v, int keptScheme) {
    return v.CheckedScheme >= 0 && v.CheckedScheme < NamingSchemeCount ? v.CheckedScheme
                                                                       : keptScheme;
}

} // namespace

QString NamingSchemeCaption(int scheme) {
    static const char* const captions[NamingSchemeCount] = {
        "Name is: <SampleDate>+<Magn>+<Unique Number>", "Name is: <SampleDate>+<Unique Number>",
        "Name is: <Number>", "Name is: <Prefix>+<Number>", "Name is: <Prefix>+<Magn>+<Number>"};
    return scheme >= 0 && scheme < NamingSchemeCount ? S(captions[scheme]) : QString();
}

bool SchemeUsesPrefix(int scheme) {
    return scheme == 3 || scheme == 4;
}

bool SchemeUsesCounter(int scheme) {
    return scheme >= 2 && scheme <= 4;
}

bool IncludeMagForScheme(int scheme) {
    return scheme != 1;
}

QStringList ImageExtensions() {
    return {S("bmp"), S("jpg"), S("png"), S("tif"), S("tiff")};
}

ScaleSizeCaptions ScaleCaptions(bool promil) {
    const QString unit = promil ? S(" in promil") : S(" in pixels");
    return {S("Scale Height") + unit, S("Scale Margin") + unit, S("Text Height") + unit};
}

int MeasurementTextHeight(int scaleTextHeight) {
    return scaleTextHeight * 70 / 100;
}

int ScalePreviewPixelHeight(bool promil, int textHeight, int workImageHeight) {
    int height = textHeight;
    if (promil)
        height = workImageHeight <= 50 ? textHeight * 600 / 1000
                                       : int(qint64(workImageHeight) * textHeight / 1000);
    return std::max(height, 1);
}

int FontPointsForPixelHeight(int pixels) {
    return int((qint64(pixels) * 72 + 48) / 96);
}

bool IsLightText(ColorRef color) {
    const double red = color & 0xFF;
    const double green = (color >> 8) & 0xFF;
    const double blue = (color >> 16) & 0xFF;
    return (0.299 * red + 0.587 * green + 0.114 * blue) / 255 > 0.5;
}

QStringList MeasureUnitItems() {
    return {S("µm"), S("mm"), S("mil")};
}

QStringList ScaleDivisionItems(const QString& unit) {
    if (unit == u"mil")
        return {S("Auto"), S("0.1"), S("0.2"), S("0.5"), S("1.0"), S("2.0"),
                S("2.5"),  S("5.0"), S("10"),  S("20"),  S("25")};
    return {S("Auto"), S("1"), S("2"), S("5"), S("10")};
}

int DivisionsPositionForUnit(int position, const QString& unit) {
    const int last = int(ScaleDivisionItems(unit).size()) - 1;
    return std::clamp(position, 0, last);
}

QStringList PositionItems() {
    return {S("Bottom Left"), S("Bottom Center"), S("Bottom Right")};
}

QStringList ObjectivePositionItems() {
    return {S("Bottom Left           "), S("Bottom Center       "), S("Bottom Right")};
}

QStringList SetDimensionsItems() {
    return {S("Set Width, then Calculate Height"), S("Set Height, then Calculate Width")};
}

void TakeAppearanceFrom(const TMainSettings& m, PrefPageValues& v) {
    v.ScaleAsPercentage = m.ScaleAsPercentage;
    v.Sizes = {m.ScaleWidthPromil, m.ScaleWidthPx,          m.ScaleMarginPromil,
               m.ScaleMarginPx,    m.ScaleTextHeightPromil, m.ScaleTextHeightPx};
    v.ScaleBlack = m.ScalePenColor == 0;
    v.ShowScaleText = m.ShowScaleText;
    v.ScaleTransparent = m.ScaleTransparent;
    v.ScalePosition = m.ScalePosition >= 0 && m.ScalePosition <= 2 ? m.ScalePosition : -1;
    v.ScaleType2 = m.ScaleType == 2;
    v.MeasurePenWidth = m.MeasurePenWidth;
    v.MeasurePenColor = m.MeasurePenColor;
    v.UnitBackColor = m.UnitBackColor;
    v.LengthUnit = m.LengthUnit;
    v.ScaleDivisions = DivisionsPositionForUnit(m.ScaleDivisions, m.LengthUnit);
    v.AddUnit = m.AddUnit;
    v.FillArrow = m.FillArrow;
    v.ArrowHeadText = QString::number(m.ArrowHeadLength);
    v.UnitTransparancy = m.UnitTransparancy;
    v.ScaleFont = m.ScaleFont;
    v.LabelFont = m.LabelFont;
    v.LabelPosition = std::clamp(m.LabelPosition, 0, 2);
    v.CopyrightFont = m.CopyrightFont;
    v.CopyrightPosition = std::clamp(m.CopyrightPosition, 0, 2);
    v.ObjectiveLabelPosition = std::clamp(m.ObjectiveLabelPosition, 0, 2);
    v.WrapText = QString::number(m.WrapLength);
    v.CopyrightText = m.CopyrightText;
}

PrefPageValues PageValuesFrom(const TMainSettings& m) {
    PrefPageValues v;
    v.WatchFolder = m.WatchFolder;
    v.SaveGrabbedFrames = m.SaveGrabbedFrames;
    v.PhotoFolder = m.PhotoFolder;
    v.SaveExtension = m.SaveExtension;
    v.SampleDate = m.NewSampleDate;
    v.Location = m.PhotoLocation;
    v.Coordinates = m.PhotoCoordinates;
    v.CheckedScheme =
        m.NamingScheme >= 0 && m.NamingScheme < NamingSchemeCount ? m.NamingScheme : -1;
    v.CounterText = QString::number(m.FileCounter);
    v.Prefix = m.SampleName;
    TakeAppearanceFrom(m, v);
    v.UseWidth = m.UseWidth;
    v.WriteBmpComment = m.WriteBmpComment;
    v.WarningOnResize = m.WarningOnResize;
    v.WarningOnExternalFile = m.WarningOnExternalFile;
    return v;
}

QString PageValuesError(const PrefPageValues& v, int keptScheme) {
    for (const QString& folder : {v.WatchFolder, v.PhotoFolder})
        if (HasLineBreak(folder))
            return S("A folder name with a line break cannot be stored: ") + SingleLine(folder);
    if (SchemeUsesCounter(EffectiveScheme(v, keptScheme)) && !Digits(v.CounterText))
        return NotAnInteger(S("Number"), v.CounterText);
    if (!Digits(v.ArrowHeadText))
        return NotAnInteger(S("Length arrow head in pixels"), v.ArrowHeadText);
    if (!LeadingDigits(v.WrapText))
        return NotAnInteger(S("Wrap label text after this amount of characters"), v.WrapText);
    return {};
}

bool FoldersConflict(const PrefPageValues& v) {
    return PhotoFolderInCameraFolder(v.PhotoFolder, v.WatchFolder);
}

void ApplyPageValues(const PrefPageValues& v, TMainSettings& m) {
    if (const QString error = PageValuesError(v, m.NamingScheme); !error.isEmpty())
        throw QuvarError(error);

    m.WatchFolder = v.WatchFolder;
    m.SaveGrabbedFrames = v.SaveGrabbedFrames;
    m.PhotoFolder = v.PhotoFolder;
    m.SaveExtension = SingleLine(v.SaveExtension);
    m.NewSampleDate = v.SampleDate;
    m.PhotoLocation = SingleLine(v.Location);
    m.PhotoCoordinates = SingleLine(v.Coordinates);
    m.NamingScheme = EffectiveScheme(v, m.NamingScheme);
    if (SchemeUsesCounter(m.NamingScheme))
        m.FileCounter = *Digits(v.CounterText);
    if (SchemeUsesPrefix(m.NamingScheme))
        m.SampleName = SingleLine(v.Prefix);

    m.ScaleAsPercentage = v.ScaleAsPercentage;
    m.ScaleWidthPromil = v.Sizes.WidthPromil;
    m.ScaleWidthPx = v.Sizes.WidthPx;
    m.ScaleMarginPromil = v.Sizes.MarginPromil;
    m.ScaleMarginPx = v.Sizes.MarginPx;
    m.ScaleTextHeightPromil = v.Sizes.TextHeightPromil;
    m.ScaleTextHeightPx = v.Sizes.TextHeightPx;
    m.ScaleTransparent = v.ScaleTransparent;
    m.MeasurePenWidth = v.MeasurePenWidth;
    m.MeasurePenColor = v.MeasurePenColor;
    m.UnitBackColor = v.UnitBackColor;
    m.LengthUnit = SingleLine(v.LengthUnit);
    m.AddUnit = v.AddUnit;
    m.UnitTransparancy = v.UnitTransparancy;
    m.ScalePenColor = v.ScaleBlack ? 0 : 0xFFFFFF;
    m.ScaleDivisions = v.ScaleDivisions;
    m.ScaleFont = v.ScaleFont;
    m.ShowScaleText = v.ShowScaleText;
    m.FillArrow = v.FillArrow;
    // Held to the same bound as the settings file's reader, so a length kept at OK reads
    // back as it was.
    m.ArrowHeadLength = std::min(*Digits(v.ArrowHeadText), ArrowHeadLengthLimit);
    if (v.ScalePosition >= 0 && v.ScalePosition <= 2)
        m.ScalePosition = v.ScalePosition;
    m.ScaleType = v.ScaleType2 ? 2 : 1;
    m.ObjectiveLabelPosition = v.ObjectiveLabelPosition;
    m.CopyrightText = SingleLine(v.CopyrightText);
    m.CopyrightFont = v.CopyrightFont;
    m.CopyrightPosition = v.CopyrightPosition;
    m.WrapLength = *LeadingDigits(v.WrapText);
    m.LabelFont = v.LabelFont;
    m.LabelPosition = v.LabelPosition;
    m.UseWidth = v.UseWidth;

    m.WriteBmpComment = v.WriteBmpComment;
    m.WarningOnResize = v.WarningOnResize;
    m.WarningOnExternalFile = v.WarningOnExternalFile;
}
