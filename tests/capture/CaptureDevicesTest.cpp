#include "CaptureTestSupport.h"

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

} // namespace
