#include "capture/CamViewSettings.h"
#include "platform/IniFile.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class CamViewSettings : public ::testing::Test {
protected:
    QString Folder() const { return dir.path() + "/"; }
    void WriteIni(const QByteArray& text) {
        QFile file(Folder() + "CamView.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QString ReadIni() const {
        QFile file(Folder() + "CamView.ini");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(CamViewSettings, MissingFileGivesTheDefaults) {
    TCamViewFields f;
    f.VideoWidth = 1;
    f.Prefix = "x";
    LoadCamViewSettings(f, Folder());
    EXPECT_EQ(f.VideoWidth, 640);
    EXPECT_EQ(f.VideoHeight, 480);
    EXPECT_EQ(f.Prefix, "Snapshot");
    EXPECT_EQ(f.ImageExtention, 1);
    EXPECT_EQ(f.TCPIPPort, 2500);
    EXPECT_EQ(f.TCPIPCommand, "QUVAR_SNAP");
    EXPECT_TRUE(f.UseNormalVideo);
    EXPECT_TRUE(f.WarningOnResize);
    EXPECT_FALSE(f.FitToPreviewWindow);
}

TEST_F(CamViewSettings, CaptureMaxSizeDecidesFitting) {
    WriteIni("[Video]\r\nFitToPreviewWindow=1\r\n");
    TCamViewFields f;
    LoadCamViewSettings(f, Folder());
    EXPECT_FALSE(f.FitToPreviewWindow);
    WriteIni("[Video]\r\nFitToPreviewWindow=0\r\n[Files]\r\nCaptureMaxSize=1\r\n");
    LoadCamViewSettings(f, Folder());
    EXPECT_TRUE(f.FitToPreviewWindow);
}

TEST_F(CamViewSettings, SaveDropsFromCameraDirAndKeepsOrder) {
    WriteIni("[Directories]\r\nFromCameraDir=/somewhere\r\n[Files]\r\nCaptureNr=42\r\n");
    TCamViewFields f;
    LoadCamViewSettings(f, Folder());
    EXPECT_EQ(f.CaptureNr, 42);
    SaveCamViewSettings(f, Folder());
    const QString text = ReadIni();
    EXPECT_FALSE(text.contains("FromCameraDir"));
    EXPECT_FALSE(text.contains("Directories"));
    EXPECT_TRUE(text.contains("CaptureNr=42\r\n"));
    EXPECT_TRUE(text.contains("UseDeviceDefaultSettings=0\r\n"));
    // One section for "Hardware" and "HardWare", under the name first written.
    EXPECT_EQ(text.count("[Hardware]", Qt::CaseInsensitive), 1);
    EXPECT_TRUE(text.contains("[Hardware]\r\nUseHardwareTrigger=0\r\nPortNumber=0\r\n"
                              "PortLine=0\r\nPortHigh=0\r\nPortActive=0\r\n"));
    const QStringList order = {"[Device]", "[Video]",    "[AVI]",         "[Files]",   "[Sound]",
                               "[Misc]",   "[Hardware]", "[TCPIPServer]", "[Warnings]"};
    int last = -1;
    for (const QString& section : order) {
        const int at = text.indexOf(section);
        EXPECT_GT(at, last) << section.toStdString();
        last = at;
    }
    // Read back whole.
    TCamViewFields g;
    LoadCamViewSettings(g, Folder());
    EXPECT_EQ(g.CaptureNr, 42);
    EXPECT_EQ(g.AVIDir, f.AVIDir);
}

// The recording settings keep their keys in [AVI], read and written in this order.
TEST_F(CamViewSettings, RecordingSettingsKeepTheirKeys) {
    const QByteArray avi = "[AVI]\r\nUseNormalVideo=0\r\nCompressorInUse=3\r\nVideoSize=1\r\n"
                           "NVFPS=4\r\nTLFPS=1\r\nNVTimeLimit=30\r\nTLTimeLimit=400\r\n"
                           "TimeUnits=2\r\nTLInterval=9\r\nAVIDir=" +
                           QFile::encodeName(dir.path()) + "\r\nAVINr=123\r\n";
    WriteIni(avi);
    TCamViewFields f;
    LoadCamViewSettings(f, Folder());
    EXPECT_FALSE(f.UseNormalVideo);
    EXPECT_EQ(f.CompressorInUse, 3);
    EXPECT_EQ(f.VideoSize, 1);
    EXPECT_EQ(f.NVFPS, 4);
    EXPECT_EQ(f.TLFPS, 1);
    EXPECT_EQ(f.NVTimeLimit, 30);
    EXPECT_EQ(f.TLTimeLimit, 400);
    EXPECT_EQ(f.TimeUnits, 2);
    EXPECT_EQ(f.TLInterval, 9);
    EXPECT_EQ(f.AVIDir, dir.path());
    EXPECT_EQ(f.AVINr, 123);
    SaveCamViewSettings(f, Folder());
    EXPECT_TRUE(ReadIni().contains(QString::fromUtf8(avi + "[Files]"))) << ReadIni().toStdString();
}

TEST_F(CamViewSettings, DeviceFileNameIsSanitizedAndHoldsTheName) {
    TCamViewFields f;
    f.CurrentDevice = "USB2.0 Camera: 1/2";
    f.VideoWidth = 1280;
    f.VideoHeight = 720;
    f.FitToPreviewWindow = true;
    SaveCamViewSettings(f, Folder());
    const QString path = Folder() + "USB2.0 Camera_ 1_2.dat";
    EXPECT_EQ(DeviceFilePath(Folder(), f.CurrentDevice), path);
    ASSERT_TRUE(QFile::exists(path));
    const IniFile file(path);
    EXPECT_EQ(file.ReadString("Device", "Video", ""), "USB2.0 Camera: 1/2");
    TCamViewFields g;
    ReadDeviceFile(g, Folder(), f.CurrentDevice);
    EXPECT_EQ(g.VideoWidth, 1280);
    EXPECT_EQ(g.VideoHeight, 720);
    EXPECT_TRUE(g.FitToPreviewWindow);
    // An empty name neither writes nor reads.
    TCamViewFields none;
    WriteDeviceFile(none, Folder());
    EXPECT_FALSE(QFile::exists(Folder() + ".dat"));
    ReadDeviceFile(g, Folder(), "");
    EXPECT_EQ(g.VideoWidth, 1280);
}

TEST_F(CamViewSettings, VanishedAviDirBecomesTheVideoFolderDefault) {
    WriteIni("[AVI]\r\nAVIDir=" + QFile::encodeName(Folder() + "gone") + "\r\n");
    TCamViewFields f;
    LoadCamViewSettings(f, Folder());
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    EXPECT_EQ(QDir::cleanPath(f.AVIDir), QDir::cleanPath(videos + "/QUVAR Videos"));
    EXPECT_TRUE(QDir(f.AVIDir).exists());
    // An existing folder stays.
    WriteIni("[AVI]\r\nAVIDir=" + QFile::encodeName(dir.path()) + "\r\n");
    LoadCamViewSettings(f, Folder());
    EXPECT_EQ(f.AVIDir, dir.path());
}

TEST_F(CamViewSettings, HandEditedValuesOutOfRange) {
    struct Case {
        const char* text;
        int width, height, extension;
    };
    const Case cases[] = {
        {"[Video]\r\nWidth=0\r\nHeight=480\r\n", 640, 480, 1},
        {"[Video]\r\nWidth=800\r\nHeight=-3\r\n", 640, 480, 1},
        {"[Video]\r\nWidth=800\r\nHeight=600\r\n[Files]\r\nImageExtention=7\r\n", 800, 600, 1},
        {"[Files]\r\nImageExtention=-1\r\n", 640, 480, 1},
        {"[Files]\r\nImageExtention=3\r\n", 640, 480, 3},
    };
    for (const Case& c : cases) {
        WriteIni(c.text);
        TCamViewFields f;
        LoadCamViewSettings(f, Folder());
        EXPECT_EQ(f.VideoWidth, c.width) << c.text;
        EXPECT_EQ(f.VideoHeight, c.height) << c.text;
        EXPECT_EQ(f.ImageExtention, c.extension) << c.text;
    }
}

TEST_F(CamViewSettings, AFailedWriteThrowsAndKeepsTheOldFile) {
    WriteIni("[Files]\r\nCaptureNr=5\r\n");
    TCamViewFields f;
    f.CaptureNr = 6;
    {
        const ScopedFileSizeLimit fullDisk(16);
        ASSERT_TRUE(fullDisk.ok());
        EXPECT_THROW(SaveCamViewSettings(f, Folder()), std::exception);
    }
    EXPECT_TRUE(ReadIni().contains("CaptureNr=5"));
}

// A prefix or command pasted with a line break (or a folder named with one) must not make
// every later save of the settings fail: the file keeps the text on one line.
TEST_F(CamViewSettings, TextsWithLineBreaksAreSavedOnOneLine) {
    const QString aviDir = dir.path() + "/Videos\nOld";
    ASSERT_TRUE(QDir().mkpath(aviDir));
    TCamViewFields f;
    f.CurrentDevice = "Cam\r\nOne";
    f.Prefix = "Pond\r\nA";
    f.TCPIPCommand = "SNAP\rNOW\n";
    f.AVIDir = aviDir;
    f.CaptureNr = 7;
    ASSERT_NO_THROW(SaveCamViewSettings(f, Folder()));

    TCamViewFields read;
    LoadCamViewSettings(read, Folder());
    EXPECT_EQ(read.CaptureNr, 7);
    EXPECT_EQ(read.CurrentDevice, "Cam One");
    EXPECT_EQ(read.Prefix, "Pond A");
    EXPECT_EQ(read.TCPIPCommand, "SNAP NOW");
    EXPECT_NE(read.AVIDir, aviDir) << "no folder of that name: the default";
    EXPECT_TRUE(QFile::exists(DeviceFilePath(Folder(), "Cam\r\nOne")));
}
