#include "MainSettings.h"

#include "SettingsUtilities.h"

#include "platform/DateFormat.h"
#include "platform/IniFile.h"
#include "platform/NumberFormat.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString MicroMetre = QString::fromUtf8("µm");

QString S(const char* text) {
    return QString::fromLatin1(text);
}

// The last component of a folder path, trailing separators ignored.
QString LastComponent(const QString& folder) {
    QString path = folder;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const int slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// My Pictures, or the home folder when the platform has none.
QString PicturesFolder() {
    const QString pictures = GetSpecialFolder(SpecialFolderMyPictures, true);
    return pictures.isEmpty() ? QDir::homePath() : pictures;
}

// A folder that is not there is replaced by the given one under My Pictures, created.
void EnsureFolder(QString& folder, const char* fallbackName) {
    if (!folder.isEmpty() && !QFileInfo(folder).isDir())
        folder.clear();
    if (folder.isEmpty()) {
        folder = PicturesFolder() + u'/' + S(fallbackName);
        QDir().mkpath(folder);
    }
}

// A unit the program does not know would scale every length wrongly: it reads as "µm".
QString KnownUnit(const QString& unit) {
    if (unit == MicroMetre || unit == u"mm" || unit == u"mil")
        return unit;
    return MicroMetre;
}

} // namespace

QString MainSettingsFileName() {
    return QStringLiteral("Quvar.ini");
}

QString DefaultCopyrightText() {
    return QString::fromUtf8("© Name of the photographer");
}

FolderLocation SplitFolderLocation(const QString& folder) {
    const QString name = LastComponent(folder);
    const int hash = name.indexOf(u'#');
    if (hash < 0)
        return {name, QString()};
    return {name.left(hash), name.mid(hash + 1)};
}

QString LocationFolder(const QString& folder) {
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    const QString fromCamera = PicturesFolder() + QStringLiteral("/QUVAR/FromCamera");
    QDir().mkpath(fromCamera);
    return fromCamera;
}

void WriteFontSection(IniFile& ini, const QString& section, const FontRecord& font) {
    ini.WriteString(section, S("Name"), font.Name);
    ini.WriteInteger(section, S("CharSet"), font.CharSet);
    ini.WriteInteger(section, S("Color"), int(font.Color));
    ini.WriteInteger(section, S("Size"), font.Size);
    ini.WriteInteger(section, S("Style"), font.Style);
}

void ReadFontSection(const IniFile& ini, const QString& section, FontRecord& font) {
    font.Name = ini.ReadString(section, S("Name"), font.Name);
    font.CharSet = ini.ReadInteger(section, S("CharSet"), font.CharSet);
    font.Color = ColorRef(ini.ReadInteger(section, S("Color"), int(font.Color)));
    font.Size = ini.ReadInteger(section, S("Size"), font.Size);
    font.Style = ini.ReadInteger(section, S("Style"), font.Style);
}

void WriteMeasuringSettings(IniFile& ini, const TMainSettings& m) {
    const QString mw = S("MeasuringWindow");
    ini.WriteBool(mw, S("ScaleAsPercentage"), m.ScaleAsPercentage);
    ini.WriteInteger(mw, S("ScaleWidthPromil"), m.ScaleWidthPromil);
    ini.WriteInteger(mw, S("ScaleWidthPx"), m.ScaleWidthPx);
    ini.WriteInteger(mw, S("ScaleMarginPromil"), m.ScaleMarginPromil);
    ini.WriteInteger(mw, S("ScaleMarginPx"), m.ScaleMarginPx);
    ini.WriteInteger(mw, S("ScaleTextHeightPromil"), m.ScaleTextHeightPromil);
    ini.WriteInteger(mw, S("ScaleTextHeightPx"), m.ScaleTextHeightPx);
    ini.WriteInteger(mw, S("MeasurePenWidth"), m.MeasurePenWidth);
    ini.WriteInteger(mw, S("MeasurePenColor"), int(m.MeasurePenColor));
    ini.WriteInteger(mw, S("UnitBackColor"), int(m.UnitBackColor));
    ini.WriteInteger(mw, S("ScalePenColor"), int(m.ScalePenColor));
    ini.WriteInteger(mw, S("ScalePosition"), m.ScalePosition);
    ini.WriteInteger(mw, S("ScaleType"), m.ScaleType);
    ini.WriteInteger(mw, S("ScaleDivisions"), m.ScaleDivisions);
    ini.WriteBool(mw, S("ShowScaleText"), m.ShowScaleText);
    ini.WriteBool(mw, S("ScaleTransparent"), m.ScaleTransparent);
    ini.WriteString(mw, S("Units"), m.LengthUnit);
    ini.WriteBool(mw, S("AddUnit"), m.AddUnit);
    ini.WriteBool(mw, S("UnitTransparancy"), m.UnitTransparancy);
    ini.WriteBool(mw, S("FillArrow"), m.FillArrow);
    ini.WriteInteger(mw, S("ArrowHeadLength"), m.ArrowHeadLength);
    ini.WriteInteger(mw, S("ObjectiveLabelPosition"), m.ObjectiveLabelPosition);
    ini.WriteString(S("Copyright"), S("Text"), m.CopyrightText);
    ini.WriteInteger(S("Copyright"), S("Position"), m.CopyrightPosition);
    ini.WriteInteger(S("Label"), S("Position"), m.LabelPosition);
    ini.WriteInteger(S("Label"), S("WrapLength"), m.WrapLength);
    WriteFontSection(ini, S("CopyrightFont"), m.CopyrightFont);
    WriteFontSection(ini, S("LabelFont"), m.LabelFont);
    WriteFontSection(ini, S("ScaleFont"), m.ScaleFont);
}

void ReadMeasuringSettings(const IniFile& ini, TMainSettings& m) {
    const QString mw = S("MeasuringWindow");
    auto colour = [&](const char* key, ColorRef def) {
        return ColorRef(ini.ReadInteger(mw, S(key), int(def)));
    };
    // Sizes within the ranges the preferences offer, so that a hand-edited file cannot make
    // the geometry computed from them overflow.
    auto size = [&](const char* key, int def, int low, int high) {
        return std::clamp(ini.ReadInteger(mw, S(key), def), low, high);
    };
    m.ScaleAsPercentage = ini.ReadBool(mw, S("ScaleAsPercentage"), false);
    m.ScaleWidthPromil = size("ScaleWidthPromil", 20, 1, 30);
    m.ScaleWidthPx = size("ScaleWidthPx", 2, 1, 30);
    m.ScaleMarginPromil = size("ScaleMarginPromil", 50, 1, 200);
    m.ScaleMarginPx = size("ScaleMarginPx", 6, 1, 200);
    m.ScaleTextHeightPromil = size("ScaleTextHeightPromil", 50, 5, 50);
    m.ScaleTextHeightPx = size("ScaleTextHeightPx", 20, 5, 50);
    m.MeasurePenWidth = size("MeasurePenWidth", 1, 1, 8);
    m.MeasurePenColor = colour("MeasurePenColor", 0);
    m.UnitBackColor = colour("UnitBackColor", 0xFFFFFF);
    m.ScalePenColor = colour("ScalePenColor", 0);
    m.ScalePosition = ini.ReadInteger(mw, S("ScalePosition"), 0);
    m.ScaleType = ini.ReadInteger(mw, S("ScaleType"), 1);
    m.ScaleDivisions = ini.ReadInteger(mw, S("ScaleDivisions"), 0);
    m.ShowScaleText = ini.ReadBool(mw, S("ShowScaleText"), true);
    m.ScaleTransparent = ini.ReadBool(mw, S("ScaleTransparent"), true);
    m.LengthUnit = KnownUnit(ini.ReadString(mw, S("Units"), MicroMetre));
    m.AddUnit = ini.ReadBool(mw, S("AddUnit"), false);
    m.UnitTransparancy = ini.ReadBool(mw, S("UnitTransparancy"), false);
    m.FillArrow = ini.ReadBool(mw, S("FillArrow"), true);
    m.ArrowHeadLength = size("ArrowHeadLength", 0, 0, ArrowHeadLengthLimit);
    m.ObjectiveLabelPosition = ini.ReadInteger(mw, S("ObjectiveLabelPosition"), 0);
    m.CopyrightText = ini.ReadString(S("Copyright"), S("Text"), DefaultCopyrightText());
    m.CopyrightPosition = ini.ReadInteger(S("Copyright"), S("Position"), 0);
    m.LabelPosition = ini.ReadInteger(S("Label"), S("Position"), 0);
    m.WrapLength = ini.ReadInteger(S("Label"), S("WrapLength"), 40);
    ReadFontSection(ini, S("CopyrightFont"), m.CopyrightFont);
    ReadFontSection(ini, S("LabelFont"), m.LabelFont);
    ReadFontSection(ini, S("ScaleFont"), m.ScaleFont);
}

FolderLocation LoadMainSettings(TMainSettings& m) {
    const IniFile ini(m.ProgramFolder + MainSettingsFileName());

    WindowPlacement& p = m.Placement;
    // Bounded, so that no geometry computed from them overflows.
    const auto coordinate = [&ini](const char* key, int def, int low) {
        return std::clamp(ini.ReadInteger(S("Window"), S(key), def), low, WindowCoordinateLimit);
    };
    p.Top = coordinate("Top", 0, -WindowCoordinateLimit);
    p.Left = coordinate("Left", 0, -WindowCoordinateLimit);
    p.Width = coordinate("Width", 815, 0);
    p.Height = coordinate("Height", 655, 0);
    p.State = ini.ReadInteger(S("Window"), S("State"), 0);
    if (p.State < 0 || p.State > 2)
        p.State = 0;

    m.FotoSizeIndex = ini.ReadInteger(S("Video"), S("FotoSize"), 0);
    m.CaptureImageSize = ini.ReadInteger(S("Video"), S("CaptureImageSize"), 0);
    m.DefaultMCSystem = ini.ReadInteger(S("MCsystems"), S("CameraMic"), 0);
    m.CurrentMCSystem = m.DefaultMCSystem;
    m.SelectionFormat = ini.ReadInteger(S("PictureFormat"), S("Width-Height"), 2);
    if (m.SelectionFormat < 1 || m.SelectionFormat > 4)
        m.SelectionFormat = 2;
    m.UseWidth = ini.ReadBool(S("PictureFormat"), S("UseWidth"), true);

    m.PhotoFolder = ini.ReadString(S("Directories"), S("PhotoDir"), QString());
    // The sample date travels in the photo folder's own name; a "$" further up the path
    // is part of some parent's name, and a text that is no date keeps today's.
    const QString photoName = LastComponent(m.PhotoFolder);
    const int dollar = photoName.indexOf(u'$');
    if (dollar >= 0)
        if (const auto date = ParseDate(QStringView(photoName).mid(dollar + 1)))
            m.NewSampleDate = *date;
    m.SelectedFolder = ini.ReadString(S("Directories"), S("CTRLFileDir"), QString());
    m.AlternativeFolder = ini.ReadString(S("Directories"), S("ALTFileDir"), QString());

    m.PhotoLocation = ini.ReadString(S("Location"), S("PhotoLocation"), QString());
    m.PhotoCoordinates = ini.ReadString(S("Location"), S("PhotoCoordinates"), QString());

    m.SaveExtension = ini.ReadString(S("Files"), S("ImageExtension"), S("jpg"));
    m.NamingScheme = ini.ReadInteger(S("Files"), S("CaptureFileType"), 0);
    // The counter is typed as digits only: a negative one is damaged and starts again at 0.
    m.FileCounter = std::max(ini.ReadInteger(S("Files"), S("CaptureNr"), 0), 0);
    m.SampleName = ini.ReadString(S("Files"), S("CaptureFileName"), S("IMG"));
    m.LastUsedDB = ini.ReadString(S("Files"), S("LastUsedDB"), QString());
    m.WriteBmpComment = ini.ReadBool(S("Files"), S("BMPcomment"), true);
    m.ShowBottomPanels = ini.ReadBool(S("Files"), S("ShowBottomPanels"), true);

    m.WatchFolder = ini.ReadString(S("DSLR-CAM"), S("FromCameraDir"), QString());
    m.SaveGrabbedFrames = ini.ReadBool(S("DSLR-CAM"), S("SaveGrabbedFrames"), true);
    m.AddLocation = ini.ReadBool(S("DSLR-CAM"), S("AddLocation"), false);

    ReadMeasuringSettings(ini, m);

    m.WarningOnResize = ini.ReadBool(S("Warnings"), S("WarningOnResize"), true);
    m.WarningOnExternalFile = ini.ReadBool(S("Warnings"), S("WarningOnExternalFile"), true);

    EnsureFolder(m.WatchFolder, "QUVAR-Temp");
    EnsureFolder(m.PhotoFolder, "QUVAR");
    return SplitFolderLocation(LocationFolder(m.PhotoFolder));
}

void BoundMCSystemChoice(TMainSettings& m) {
    if (m.DefaultMCSystem < 0 || m.DefaultMCSystem >= m.NrOfMCSystems)
        m.DefaultMCSystem = 0;
    if (m.CurrentMCSystem < 0 || m.CurrentMCSystem >= m.NrOfMCSystems)
        m.CurrentMCSystem = 0;
}

void SaveMainSettings(const TMainSettings& m) {
    IniFile ini(m.ProgramFolder + MainSettingsFileName(), IniFile::Start::Empty);

    ini.WriteInteger(S("Revision"), S("MajorMinor"), MainSettingsRevision);

    const WindowPlacement& p = m.Placement;
    ini.WriteInteger(S("Window"), S("Top"), p.Top);
    ini.WriteInteger(S("Window"), S("Left"), p.Left);
    ini.WriteInteger(S("Window"), S("Width"), p.Width);
    ini.WriteInteger(S("Window"), S("Height"), p.Height);
    // A minimised window is stored as normal, so the next run does not open hidden.
    ini.WriteInteger(S("Window"), S("State"), p.State == 1 ? 1 : 0);

    ini.WriteInteger(S("Video"), S("FotoSize"), m.FotoSizeIndex);
    ini.WriteInteger(S("Video"), S("CaptureImageSize"), m.CaptureImageSize);
    ini.WriteInteger(S("MCsystems"), S("CameraMic"), m.NrOfMCSystems == 1 ? 0 : m.DefaultMCSystem);
    ini.WriteInteger(S("PictureFormat"), S("Width-Height"), m.SelectionFormat);
    ini.WriteBool(S("PictureFormat"), S("UseWidth"), m.UseWidth);

    ini.WriteString(S("Directories"), S("PhotoDir"), m.PhotoFolder);
    ini.WriteString(S("Directories"), S("CTRLFileDir"), m.SelectedFolder);
    ini.WriteString(S("Directories"), S("ALTFileDir"), m.AlternativeFolder);

    ini.WriteString(S("Location"), S("PhotoLocation"), m.PhotoLocation);
    ini.WriteString(S("Location"), S("PhotoCoordinates"), m.PhotoCoordinates);

    ini.WriteString(S("Files"), S("ImageExtension"), m.SaveExtension);
    ini.WriteInteger(S("Files"), S("CaptureFileType"), m.NamingScheme);
    ini.WriteInteger(S("Files"), S("CaptureNr"), m.FileCounter);
    ini.WriteString(S("Files"), S("CaptureFileName"), m.SampleName);
    ini.WriteString(S("Files"), S("LastUsedDB"), m.LastUsedDB);
    ini.WriteBool(S("Files"), S("BMPcomment"), m.WriteBmpComment);
    ini.WriteBool(S("Files"), S("ShowBottomPanels"), m.ShowBottomPanels);

    ini.WriteString(S("DSLR-CAM"), S("FromCameraDir"), m.WatchFolder);
    ini.WriteBool(S("DSLR-CAM"), S("SaveGrabbedFrames"), m.SaveGrabbedFrames);
    ini.WriteBool(S("DSLR-CAM"), S("AddLocation"), m.AddLocation);

    WriteMeasuringSettings(ini, m);

    ini.WriteBool(S("Warnings"), S("WarningOnResize"), m.WarningOnResize);
    ini.WriteBool(S("Warnings"), S("WarningOnExternalFile"), m.WarningOnExternalFile);

    ini.Save();
}

std::array<QString, 7> InsertScaleCaptions(const QString& unit) {
    static constexpr double micrometres[7] = {5, 10, 20, 50, 100, 200, 500};
    const bool inMicrometres = unit == MicroMetre;
    std::array<QString, 7> captions;
    for (size_t i = 0; i < captions.size(); ++i) {
        const double n = inMicrometres ? micrometres[i] : micrometres[i] / 10;
        captions[i] = S("Insert Scale ") + FormatGeneral(n) + u' ' + unit;
    }
    return captions;
}

QString CalLabelCaption(const QString& unit) {
    return unit + S(" / pixel");
}

QString SelectCropAreaCaption(const QString& unit) {
    return S("Select Crop Area (") + unit + u')';
}

QString CropSizeCaption(int tag, const QString& unit, bool useWidth, bool sizeMenusSwapped) {
    const double shown = unit == MicroMetre ? double(tag) : tag / 10.0;
    const bool width = useWidth != sizeMenusSwapped;
    return (width ? S("Width in ") : S("Height in ")) + unit + S(" = ") + FormatGeneral(shown);
}
