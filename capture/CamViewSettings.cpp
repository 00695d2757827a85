#include "CamViewSettings.h"

#include "platform/IniFile.h"
#include "settings/SettingsUtilities.h"
#include "video/RecordingSettings.h"

#include <QFileInfo>

namespace {

const QString Device = QStringLiteral("Device");
const QString Video = QStringLiteral("Video");
const QString Avi = QStringLiteral("AVI");
const QString Directories = QStringLiteral("Directories");
const QString Files = QStringLiteral("Files");
const QString Sound = QStringLiteral("Sound");
const QString Misc = QStringLiteral("Misc");
const QString Hardware = QStringLiteral("Hardware");
const QString HardWare = QStringLiteral("HardWare"); // the same section: names ignore case
const QString Server = QStringLiteral("TCPIPServer");
const QString Warnings = QStringLiteral("Warnings");

// The file cannot hold a line break in a value (it would end the value there, so the write
// is refused); a pasted one must not stop every later save, so it is kept as a blank.
QString OneLine(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
        .replace(u'\r', u' ')
        .replace(u'\n', u' ');
    return line;
}

// A hand-edited size below 1 would give an empty capture format.
void KeepSizeUsable(TCamViewFields& fields) {
    if (fields.VideoWidth < 1 || fields.VideoHeight < 1) {
        fields.VideoWidth = 640;
        fields.VideoHeight = 480;
    }
}

void ReadVideoKeys(const IniFile& ini, TCamViewFields& fields) {
    fields.VideoWidth = ini.ReadInteger(Video, QStringLiteral("Width"), 640);
    fields.VideoHeight = ini.ReadInteger(Video, QStringLiteral("Height"), 480);
    fields.FitToPreviewWindow = ini.ReadBool(Video, QStringLiteral("FitToPreviewWindow"), false);
    KeepSizeUsable(fields);
}

void WriteVideoKeys(IniFile& ini, const TCamViewFields& fields) {
    ini.WriteInteger(Video, QStringLiteral("Width"), fields.VideoWidth);
    ini.WriteInteger(Video, QStringLiteral("Height"), fields.VideoHeight);
    ini.WriteBool(Video, QStringLiteral("FitToPreviewWindow"), fields.FitToPreviewWindow);
}

} // namespace

bool CommandServerRunsAtStart(const QString& programFolder) {
    return IniFile(programFolder + QLatin1String(CamViewIniName))
        .ReadBool(Server, QStringLiteral("ServerRunning"), false);
}

void LoadCamViewSettings(TCamViewFields& f, const QString& programFolder) {
    const IniFile ini(programFolder + QLatin1String(CamViewIniName));
    f.UseDeviceDefaultSettings = false;
    f.CurrentDevice = ini.ReadString(Device, QStringLiteral("Video"), QString());
    f.UseDeviceName = ini.ReadBool(Device, QStringLiteral("UseDeviceName"), false);
    ReadVideoKeys(ini, f);
    f.UseNormalVideo = ini.ReadBool(Avi, QStringLiteral("UseNormalVideo"), true);
    f.CompressorInUse = ini.ReadInteger(Avi, QStringLiteral("CompressorInUse"), 0);
    f.VideoSize = ini.ReadInteger(Avi, QStringLiteral("VideoSize"), 0);
    f.NVFPS = ini.ReadInteger(Avi, QStringLiteral("NVFPS"), 2);
    f.TLFPS = ini.ReadInteger(Avi, QStringLiteral("TLFPS"), 2);
    f.NVTimeLimit = ini.ReadInteger(Avi, QStringLiteral("NVTimeLimit"), 10);
    f.TLTimeLimit = ini.ReadInteger(Avi, QStringLiteral("TLTimeLimit"), 10);
    f.TimeUnits = ini.ReadInteger(Avi, QStringLiteral("TimeUnits"), 0);
    f.TLInterval = ini.ReadInteger(Avi, QStringLiteral("TLInterval"), 2);
    f.AVIDir = ini.ReadString(Avi, QStringLiteral("AVIDir"), QString());
    f.AVINr = ini.ReadInteger(Avi, QStringLiteral("AVINr"), 0);
    f.ImageExtention = ini.ReadInteger(Files, QStringLiteral("ImageExtention"), 1);
    if (f.ImageExtention < 0 || f.ImageExtention > 3)
        f.ImageExtention = 1; // a snapshot must have a type the writer knows
    f.CaptureFileType = ini.ReadInteger(Files, QStringLiteral("CaptureFileType"), 0);
    f.CaptureNr = ini.ReadInteger(Files, QStringLiteral("CaptureNr"), 0);
    if (f.CaptureNr < 0 || f.CaptureNr > 99999)
        f.CaptureNr = 0;
    f.Prefix = ini.ReadString(Files, QStringLiteral("Prefix"), QStringLiteral("Snapshot"));
    f.NameBoxIndex = ini.ReadInteger(Files, QStringLiteral("NameBoxIndex"), 0);
    // Read after [Video] FitToPreviewWindow, so this key decides.
    f.FitToPreviewWindow = ini.ReadBool(Files, QStringLiteral("CaptureMaxSize"), false);
    f.SnapshotWarning = ini.ReadBool(Files, QStringLiteral("SnapshotWarning"), false);
    f.SoundEnabled = ini.ReadBool(Sound, QStringLiteral("SoundEnabled"), false);
    f.ShowPanelRight = ini.ReadBool(Misc, QStringLiteral("ShowPanelRight"), false);
    f.UseHardwareTrigger = ini.ReadBool(Hardware, QStringLiteral("UseHardwareTrigger"), false);
    f.PortNumber = ini.ReadInteger(HardWare, QStringLiteral("PortNumber"), 0);
    f.PortLine = ini.ReadInteger(HardWare, QStringLiteral("PortLine"), 0);
    f.PortHigh = ini.ReadInteger(HardWare, QStringLiteral("PortHigh"), 0);
    f.PortActive = ini.ReadBool(Hardware, QStringLiteral("PortActive"), false);
    f.ServerRunning = ini.ReadBool(Server, QStringLiteral("ServerRunning"), false);
    f.TCPIPPort = ini.ReadInteger(Server, QStringLiteral("TCPIPPort"), 2500);
    f.TCPIPCommand =
        ini.ReadString(Server, QStringLiteral("TCPIPCommand"), QStringLiteral("QUVAR_SNAP"));
    f.WarningOnResize = ini.ReadBool(Warnings, QStringLiteral("WarningOnResize"), true);

    if (!f.AVIDir.isEmpty() && !QFileInfo(f.AVIDir).isDir())
        f.AVIDir.clear();
    if (f.AVIDir.isEmpty())
        f.AVIDir = DefaultAviFolder();
}

void SaveCamViewSettings(const TCamViewFields& f, const QString& programFolder) {
    IniFile ini(programFolder + QLatin1String(CamViewIniName), IniFile::Start::Empty);
    ini.WriteBool(Device, QStringLiteral("UseDeviceDefaultSettings"), false);
    ini.WriteString(Device, QStringLiteral("Video"), OneLine(f.CurrentDevice));
    ini.WriteBool(Device, QStringLiteral("UseDeviceName"), f.UseDeviceName);
    WriteDeviceFile(f, programFolder);
    WriteVideoKeys(ini, f);
    ini.WriteBool(Avi, QStringLiteral("UseNormalVideo"), f.UseNormalVideo);
    ini.WriteInteger(Avi, QStringLiteral("CompressorInUse"), f.CompressorInUse);
    ini.WriteInteger(Avi, QStringLiteral("VideoSize"), f.VideoSize);
    ini.WriteInteger(Avi, QStringLiteral("NVFPS"), f.NVFPS);
    ini.WriteInteger(Avi, QStringLiteral("TLFPS"), f.TLFPS);
    ini.WriteInteger(Avi, QStringLiteral("NVTimeLimit"), f.NVTimeLimit);
    ini.WriteInteger(Avi, QStringLiteral("TLTimeLimit"), f.TLTimeLimit);
    ini.WriteInteger(Avi, QStringLiteral("TimeUnits"), f.TimeUnits);
    ini.WriteInteger(Avi, QStringLiteral("TLInterval"), f.TLInterval);
    ini.WriteString(Avi, QStringLiteral("AVIDir"), OneLine(f.AVIDir));
    ini.WriteInteger(Avi, QStringLiteral("AVINr"), f.AVINr);
    // [Directories] FromCameraDir is read by nobody any more: not written.
    ini.WriteInteger(Files, QStringLiteral("ImageExtention"), f.ImageExtention);
    ini.WriteInteger(Files, QStringLiteral("CaptureFileType"), f.CaptureFileType);
    ini.WriteInteger(Files, QStringLiteral("CaptureNr"), f.CaptureNr);
    ini.WriteString(Files, QStringLiteral("Prefix"), OneLine(f.Prefix));
    ini.WriteInteger(Files, QStringLiteral("NameBoxIndex"), f.NameBoxIndex);
    ini.WriteBool(Files, QStringLiteral("CaptureMaxSize"), f.FitToPreviewWindow);
    ini.WriteBool(Files, QStringLiteral("SnapshotWarning"), f.SnapshotWarning);
    ini.WriteBool(Sound, QStringLiteral("SoundEnabled"), f.SoundEnabled);
    ini.WriteBool(Misc, QStringLiteral("ShowPanelRight"), f.ShowPanelRight);
    ini.WriteBool(Hardware, QStringLiteral("UseHardwareTrigger"), f.UseHardwareTrigger);
    ini.WriteInteger(HardWare, QStringLiteral("PortNumber"), f.PortNumber);
    ini.WriteInteger(HardWare, QStringLiteral("PortLine"), f.PortLine);
    ini.WriteInteger(HardWare, QStringLiteral("PortHigh"), f.PortHigh);
    ini.WriteBool(Hardware, QStringLiteral("PortActive"), f.PortActive);
    ini.WriteBool(Server, QStringLiteral("ServerRunning"), f.ServerRunning);
    ini.WriteInteger(Server, QStringLiteral("TCPIPPort"), f.TCPIPPort);
    ini.WriteString(Server, QStringLiteral("TCPIPCommand"), OneLine(f.TCPIPCommand));
    ini.WriteBool(Warnings, QStringLiteral("WarningOnResize"), f.WarningOnResize);
    ini.Save();
}

QString DeviceFilePath(const QString& programFolder, const QString& deviceName) {
    QString name = deviceName;
    SanitizeFileName(name);
    return programFolder + name + QStringLiteral(".dat");
}

void WriteDeviceFile(const TCamViewFields& f, const QString& programFolder) {
    if (f.CurrentDevice.isEmpty())
        return;
    IniFile ini(DeviceFilePath(programFolder, f.CurrentDevice), IniFile::Start::Empty);
    ini.WriteString(Device, QStringLiteral("Video"), OneLine(f.CurrentDevice));
    WriteVideoKeys(ini, f);
    ini.Save();
}

void ReadDeviceFile(TCamViewFields& f, const QString& programFolder, const QString& deviceName) {
    if (deviceName.isEmpty())
        return;
    const IniFile ini(DeviceFilePath(programFolder, deviceName));
    ReadVideoKeys(ini, f);
}
