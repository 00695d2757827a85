#include "CaptureTestSupport.h"

#include "capture/GraphConfig.h"
#include "capture/VideoCapture.h"
#include "support/ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace {

TEST(CaptureDevices, UniqueNamesCountEqualFriendlyNamesExactly) {
    struct Case {
        QStringList friendlyNames;
        QStringList names;
    };
    const Case cases[] = {
        {{"Cam", "Cam", "Cam "}, {"Cam", "Cam (2)", "Cam "}},
        {{"Cam", "Other", "Cam", "Cam"}, {"Cam", "Other", "Cam (2)", "Cam (3)"}},
        {{"   ", "", "Cam", "\t"}, {"Cam"}},
        {{"cam", "Cam"}, {"cam", "Cam"}},
    };
    for (const auto& c : cases) {
        TCapDeviceList list;
        for (const auto& name : c.friendlyNames)
            AppendDevice(list, name, nullptr);
        QStringList names;
        for (const auto& entry : list)
            names << entry.Name;
        EXPECT_EQ(names, c.names) << c.friendlyNames.join('|').toStdString();
    }
}

TEST(CaptureDevices, FakeCamerasListedUnderUniqueNames) {
    FakeCameraScope cameras("Cam;Cam; ;Other");
    EXPECT_EQ(GetVideoDeviceNames(), (QStringList{"Cam", "Cam (2)", "Other"}));
    RefreshDeviceLists();
    ASSERT_EQ(VideoInputDevices().size(), 3u);
    EXPECT_TRUE(AudioInputDevices().empty());

    const auto second = MonikerByName(VideoInputDevices(), "Cam (2)");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(VideoInputDevices()[0].FriendlyName, "Cam");
    EXPECT_EQ(NameOfMoniker(VideoInputDevices(), second), "Cam (2)");
    EXPECT_EQ(MonikerByName(VideoInputDevices(), "cam"), nullptr);

    // A device is known by its own object: after a new enumeration the old one is not found.
    RefreshDeviceLists();
    EXPECT_EQ(NameOfMoniker(VideoInputDevices(), second), "");
    ClearDeviceLists();
    EXPECT_TRUE(VideoInputDevices().empty());
}

TEST(CaptureDevices, DeviceMonitorListsFakeCamerasBesideRealOnes) {
    const QByteArray old = qgetenv("QUVAR_TEST_CAMERAS");
    qputenv("QUVAR_TEST_CAMERAS", "Monitor Cam;Monitor Cam");
    auto monitor = NewMonitorDeviceSource();
    TCapDeviceList list;
    for (auto& found : monitor->Devices(DeviceCategory::VideoInput))
        AppendDevice(list, found.friendlyName, found.device);
    QStringList names;
    for (const auto& entry : list)
        names << entry.Name;
    EXPECT_TRUE(names.contains("Monitor Cam")) << names.join('|').toStdString();
    EXPECT_TRUE(names.contains("Monitor Cam (2)")) << names.join('|').toStdString();
    qputenv("QUVAR_TEST_CAMERAS", old);
}

// The names the program installs from the recording side, with the unique-name rule applied.
class CompressorNamesScope {
public:
    explicit CompressorNamesScope(const QStringList& names) {
        SetCompressorNames(DeviceCategory::VideoCompressor, [names] { return names; });
    }
    ~CompressorNamesScope() {
        SetCompressorNames(DeviceCategory::VideoCompressor, nullptr);
        ClearDeviceLists();
    }
};

TEST(CaptureDevices, CompressorListsComeFromTheInstalledNames) {
    FakeCameraScope cameras("Cam");
    RefreshDeviceLists();
    EXPECT_TRUE(VideoCompressors().empty()); // nothing installed
    {
        CompressorNamesScope names({"MJPG mjpeg", "FFV1 ffv1", " ", "MJPG mjpeg"});
        // Names for sound are refused: the audio list stays empty.
        SetCompressorNames(DeviceCategory::AudioCompressor, [] { return QStringList{"PCM"}; });
        SetCompressorNames(DeviceCategory::VideoInput, [] { return QStringList{"Not a camera"}; });
        RefreshDeviceLists();
        QStringList listed;
        for (const auto& entry : VideoCompressors())
            listed << entry.Name;
        EXPECT_EQ(listed, (QStringList{"MJPG mjpeg", "FFV1 ffv1", "MJPG mjpeg (2)"}));
        EXPECT_EQ(GetVideoDeviceNames(), QStringList{"Cam"});
        const auto ffv1 = MonikerByName(VideoCompressors(), "FFV1 ffv1");
        ASSERT_NE(ffv1, nullptr);
        EXPECT_EQ(NameOfMoniker(VideoCompressors(), ffv1), "FFV1 ffv1");
        EXPECT_EQ(NameOfMoniker(VideoInputDevices(), ffv1), "");
        SetCompressorNames(DeviceCategory::AudioCompressor, nullptr);
        RefreshDeviceLists();
        EXPECT_TRUE(AudioCompressors().empty());
    }
    RefreshDeviceLists();
    EXPECT_TRUE(VideoCompressors().empty());
}

TEST(CaptureDevices, ChosenCompressorSurvivesTheConfigurationRoundTrip) {
    ScriptedPrompts prompts;
    FakeCameraScope cameras("Cam");
    CompressorNamesScope names({"MJPG mjpeg", "FMP4 mpeg4"});
    TVideoCapture capture;
    TGraphConfig config;
    config.VideoDevice = "Cam";
    config.VideoCompressor = "FMP4 mpeg4";
    config.AudioCompressor = "FMP4 mpeg4"; // not a sound compressor: no such device
    capture.ApplyConfig(&config);
    EXPECT_EQ(capture.VideoCompressorName(), "FMP4 mpeg4");
    TGraphConfig read;
    capture.ReadConfig(&read);
    EXPECT_EQ(read.VideoDevice, "Cam");
    EXPECT_EQ(read.VideoCompressor, "FMP4 mpeg4");
    EXPECT_EQ(read.AudioCompressor, "");

    config.VideoCompressor = "Gone Codec";
    capture.ApplyConfig(&config);
    EXPECT_EQ(capture.VideoCompressorName(), "");
    EXPECT_TRUE(prompts.Texts().isEmpty()) << prompts.Texts().join("|").toStdString();
}

} // namespace
