#include "CaptureTestSupport.h"

#include "capture/CapturedFrame.h"
#include "capture/GraphConfig.h"
#include "capture/V4l2Controls.h"
#include "capture/VideoCapture.h"
#include "support/ScriptedPrompts.h"

#include "support/EventWait.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cmath>

#include <gtest/gtest.h>
#include <limits>

namespace {

const QString NoDeviceText = "Error 0.\r\nCan't create video capture filter - propably you "
                             "havn't video capture device!";
const QString CameraProblemText = "Problem with camera! Maybe not connected?";
const QString WrongDepthText = "Can't install SampleGrabber. Probably wrong color depth used?";

bool WaitFor(const std::function<bool()>& done, int bound_ms = 3000) {
    return quvartest::WaitFor(done, bound_ms);
}

TVideoFormatInfo Capability(TVideoCapture& capture, const QString& subType, int width, int height) {
    for (int i = 0; i < capture.VideoCapabilityCount(); ++i) {
        const auto format = capture.GetVideoCapability(i);
        if (format.SubType == subType && format.Width == width && format.Height == height)
            return format;
    }
    return {};
}

// A preview of the named fake camera, as the preview window sets one up.
TGraphConfig PreviewConfig(const QString& camera) {
    TGraphConfig config;
    config.VideoDevice = camera;
    config.WantPreview = true;
    config.WantBitmaps = true;
    return config;
}

struct Recorder {
    QStringList events;
    std::vector<QImage> bitmaps;
    int rendered = 0;

    void Attach(TVideoCapture& capture) {
        capture.OnDeviceLost = [this](TVideoCapture&) { events << "DeviceLost"; };
        capture.OnStartPreview = [this](TVideoCapture&) { events << "StartPreview"; };
        capture.OnStopPreview = [this](TVideoCapture&) { events << "StopPreview"; };
        capture.OnChangeDevice = [this](TVideoCapture&) { events << "ChangeDevice"; };
        capture.OnChangeCompressor = [this](TVideoCapture&) { events << "ChangeCompressor"; };
        capture.OnChangeVCapMode = [this](TVideoCapture&) { events << "ChangeVCapMode"; };
        capture.OnBitmapGrabbed = [this](const TCapturedBitmap& bitmap) {
            bitmaps.push_back(bitmap.copy());
        };
        capture.OnFrameRendered = [this](TVideoCapture&) { ++rendered; };
    }
};

class VideoCaptureTest : public ::testing::Test {
protected:
    // Attaches the recorder and previews the camera of this name.
    static void PreviewWith(Recorder& recorder, TVideoCapture& capture, const QString& device) {
        recorder.Attach(capture);
        TGraphConfig config = PreviewConfig(device);
        capture.ApplyConfig(&config);
    }

    ScriptedPrompts prompts;
    FakeCameraScope cameras{"Cam;Cam"};
};

TEST(VideoCaptureProperties, FrameRateKeepsOneToFiftyElseTwentyFive) {
    const std::pair<double, double> cases[] = {
        {0, 25},    {60, 25},    {1, 1},       {50, 50},
        {0.99, 25}, {50.01, 25}, {12.5, 12.5}, {std::numeric_limits<double>::quiet_NaN(), 25},
        {-3, 25}};
    TVideoCapture capture;
    EXPECT_EQ(capture.FrameRate(), 0);
    for (const auto& [given, stored] : cases) {
        capture.SetFrameRate(given);
        EXPECT_EQ(capture.FrameRate(), stored) << given;
    }
}

TEST(VideoCaptureProperties, ErrorCodeReplacesPercentX) {
    EXPECT_EQ(CaptureErrorText("Error %x: Cannot stop preview graph!", 0x80040202),
              "Error 80040202: Cannot stop preview graph!");
    EXPECT_EQ(CaptureErrorText("Capture filename required!", 5), "Capture filename required!");
}

TEST(CapturedFrame, ShortBufferIsDroppedAndRowsFollowTheStride) {
    // 3 x 2 pixels of 24 bits, rows 12 bytes apart: the padding must not reach the bitmap.
    std::vector<uint8_t> data(24, 0xEE);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 9; ++i)
            data[size_t(y * 12 + i)] = uint8_t(y * 100 + i);
    QImage out;
    EXPECT_FALSE(CopyFrameRows(data.data(), 23, 3, 2, 12, QImage::Format_BGR888, out));
    EXPECT_FALSE(CopyFrameRows(data.data(), 24, 3, 2, 8, QImage::Format_BGR888, out));
    EXPECT_FALSE(CopyFrameRows(data.data(), 24, 3, 2, 12, QImage::Format_Indexed8, out));
    EXPECT_TRUE(out.isNull());
    ASSERT_TRUE(CopyFrameRows(data.data(), 24, 3, 2, 12, QImage::Format_BGR888, out));
    EXPECT_EQ(out.pixel(0, 0), qRgb(2, 1, 0));
    EXPECT_EQ(out.pixel(2, 1), qRgb(108, 107, 106));
}

TEST(CapturedFrame, ABitmapStillHeldElsewhereIsNeverWrittenOver) {
    std::vector<uint8_t> first(2 * 2 * 3, 10), second(2 * 2 * 3, 200);
    QImage out;
    ASSERT_TRUE(CopyFrameRows(first.data(), first.size(), 2, 2, 6, QImage::Format_BGR888, out));
    const uchar* memory = out.constBits();

    // A receiver kept the frame: the next copy goes to new memory, the kept one stays.
    const QImage kept = out;
    ASSERT_TRUE(CopyFrameRows(second.data(), second.size(), 2, 2, 6, QImage::Format_BGR888, out));
    EXPECT_EQ(kept.pixel(1, 1), qRgb(10, 10, 10));
    EXPECT_EQ(out.pixel(1, 1), qRgb(200, 200, 200));
    EXPECT_NE(out.constBits(), memory);

    // Nobody else holds it: the same memory takes the next frame; another size gets its own.
    const uchar* own = out.constBits();
    ASSERT_TRUE(CopyFrameRows(first.data(), first.size(), 2, 2, 6, QImage::Format_BGR888, out));
    EXPECT_EQ(out.constBits(), own);
    EXPECT_EQ(out.pixel(0, 0), qRgb(10, 10, 10));
    ASSERT_TRUE(CopyFrameRows(first.data(), first.size(), 1, 2, 6, QImage::Format_BGR888, out));
    EXPECT_EQ(out.size(), QSize(1, 2));
    // A failed copy leaves the last frame as it was.
    EXPECT_FALSE(CopyFrameRows(first.data(), 5, 2, 2, 6, QImage::Format_BGR888, out));
    EXPECT_EQ(out.size(), QSize(1, 2));
}

TEST_F(VideoCaptureTest, PaintedFrameOutlivesTheControlAndWritesGoToACopy) {
    const QRgb colour = qRgb(30, 160, 90);
    SetFakeCameraColour("Cam", colour);
    QImage painted;
    {
        Recorder recorder; // outlives the control, whose destructor still fires events
        auto capture = std::make_unique<TVideoCapture>();
        recorder.Attach(*capture);
        TGraphConfig config = PreviewConfig("Cam");
        capture->ApplyConfig(&config);
        config.VideoFormat = Capability(*capture, "BGR", 161, 121);
        capture->ApplyConfig(&config);
        ASSERT_TRUE(WaitFor([&] { return !capture->LatestFrame().isNull(); }));
        painted = capture->LatestFrame();
        EXPECT_EQ(painted.size(), QSize(161, 121));
        capture->StopPreview();
        EXPECT_TRUE(capture->LatestFrame().isNull());
        capture.reset(); // the pipeline is gone; the frame the paint holds is not
    }
    EXPECT_EQ(painted.pixel(0, 0), colour);
    EXPECT_EQ(painted.pixel(160, 120), colour);
    QImage written = painted; // writing detaches into memory of its own
    written.setPixel(0, 0, qRgb(1, 2, 3));
    EXPECT_EQ(painted.pixel(0, 0), colour);
    SetFakeCameraColour("Cam", std::nullopt);
}

TEST_F(VideoCaptureTest, NewControlAndNewConfigHaveTheirInitialValues) {
    TVideoCapture capture;
    EXPECT_TRUE(capture.WantBitmaps && capture.WantAudio && capture.WantPreview &&
                capture.WantCapture);
    EXPECT_EQ(capture.BitmapPixelFormat, TPixelFormat::pf24bit);
    EXPECT_EQ(capture.PreallocFileSize, 1u);
    EXPECT_FALSE(capture.GrabFrame()); // nothing runs

    TGraphConfig config;
    EXPECT_EQ(config.CaptureFileName, "capture.avi");
    EXPECT_EQ(config.TempCaptureFileName, "captemp.avi");
    EXPECT_EQ(config.DVResolution, TDVResolution::dvrFull);
    capture.ReadConfig(&config);
    EXPECT_EQ(config.CaptureFileName, "");
    EXPECT_EQ(config.TempCaptureFileName, "");
    EXPECT_EQ(config.VideoDevice, "");
    capture.CaptureFileName = "own.avi";
    config.WantCapture = false;
    capture.ApplyConfig(&config);
    EXPECT_EQ(capture.CaptureFileName, "own.avi");
}

TEST_F(VideoCaptureTest, MissingDeviceGivesCodeZeroAndBothEventsFire) {
    Recorder recorder; // outlives the control, whose destructor still fires events
    TVideoCapture capture;
    PreviewWith(recorder, capture, "Gone Camera");
    EXPECT_EQ(prompts.Texts(), QStringList{NoDeviceText});
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown[0].caption, "DirectShow - Capture");
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Error);
    EXPECT_FALSE(capture.Previewing());
    EXPECT_EQ(recorder.events, (QStringList{"ChangeDevice", "ChangeCompressor"}));
}

TEST_F(VideoCaptureTest, GrabbedSolidFrameHasExactPixelsInEachSupportedFormat) {
    const QRgb colour = qRgb(0xC0, 0x40, 0x80); // exact in 5-6-5 and 5-5-5 as well
    SetFakeCameraColour("Cam", colour);
    struct Case {
        TPixelFormat pixelFormat;
        QImage::Format expected;
    };
    const Case cases[] = {{TPixelFormat::pf24bit, QImage::Format_BGR888},
                          {TPixelFormat::pf32bit, QImage::Format_RGB32},
                          {TPixelFormat::pf16bit, QImage::Format_RGB16},
                          {TPixelFormat::pf15bit, QImage::Format_RGB555},
                          {TPixelFormat::pfCustom, QImage::Format_BGR888},
                          {TPixelFormat::pfDevice, QImage::Format_BGR888}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.pixelFormat));
        Recorder recorder; // outlives the control, whose destructor still fires events
        TVideoCapture capture;
        recorder.Attach(capture);
        TGraphConfig config = PreviewConfig("Cam");
        config.BitmapPixelFormat = c.pixelFormat;
        capture.ApplyConfig(&config); // builds the graph once to learn the formats
        config.VideoFormat = Capability(capture, "BGR", 161, 121);
        ASSERT_EQ(config.VideoFormat.BitCount, 24);
        capture.ApplyConfig(&config);
        ASSERT_TRUE(capture.Previewing());
        ASSERT_TRUE(capture.GrabFrame());
        ASSERT_TRUE(WaitFor([&] { return !recorder.bitmaps.empty(); }));
        const QImage& bitmap = recorder.bitmaps.front();
        EXPECT_EQ(bitmap.format(), c.expected);
        ASSERT_EQ(bitmap.size(), QSize(161, 121));
        QImage expected(1, 1, c.expected);
        expected.fill(QColor(colour));
        int wrong = 0;
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x)
                wrong += bitmap.pixel(x, y) != expected.pixel(0, 0);
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    SetFakeCameraColour("Cam", std::nullopt);
}

TEST_F(VideoCaptureTest, PaletteFormatsGiveTheMessageAndPreviewWithoutGrabber) {
    for (auto pixelFormat : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
        prompts.shown.clear();
        Recorder recorder; // outlives the control, whose destructor still fires events
        TVideoCapture capture;
        recorder.Attach(capture);
        TGraphConfig config = PreviewConfig("Cam");
        config.BitmapPixelFormat = pixelFormat;
        capture.ApplyConfig(&config);
        EXPECT_EQ(prompts.Texts(), QStringList{WrongDepthText});
        EXPECT_TRUE(capture.Previewing());
        EXPECT_FALSE(capture.GrabFrame());
        EXPECT_TRUE(WaitFor([&] { return recorder.rendered >= 2; }));
        EXPECT_TRUE(recorder.bitmaps.empty());
    }
}

TEST_F(VideoCaptureTest, GrabRequestsInARowEachGetTheirOwnFrame) {
    Recorder recorder; // outlives the control, whose destructor still fires events
    TVideoCapture capture;
    PreviewWith(recorder, capture, "Cam (2)");
    ASSERT_TRUE(capture.Previewing());
    for (size_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(capture.GrabFrame());
        ASSERT_TRUE(WaitFor([&] { return recorder.bitmaps.size() == n; }));
        EXPECT_EQ(recorder.bitmaps.back().size(), QSize(640, 480));
    }
    // Requests do not queue: two before the next frame give one bitmap.
    recorder.bitmaps.clear();
    ASSERT_TRUE(capture.GrabFrame());
    ASSERT_TRUE(capture.GrabFrame());
    const int rendered = recorder.rendered;
    ASSERT_TRUE(WaitFor([&] { return recorder.rendered >= rendered + 4; }));
    EXPECT_EQ(recorder.bitmaps.size(), 1u);

    // Not previewing: the request is refused and a pending one cleared. A frame that served
    // it before the stop is delivered still; none may follow once the preview runs again.
    ASSERT_TRUE(capture.GrabFrame());
    capture.StopPreview();
    EXPECT_FALSE(capture.GrabFrame());
    QCoreApplication::sendPostedEvents();
    const size_t delivered = recorder.bitmaps.size();
    ASSERT_TRUE(capture.StartPreview());
    const int restarted = recorder.rendered;
    ASSERT_TRUE(WaitFor([&] { return recorder.rendered >= restarted + 4; }));
    EXPECT_EQ(recorder.bitmaps.size(), delivered);
    EXPECT_GE(recorder.rendered, 8);
}

TEST_F(VideoCaptureTest, FramesAReceiverKeepsWithoutCopyingAreNeverWrittenOver) {
    std::vector<QImage> kept; // shallow: the receiver holds the delivered bitmap itself
    TVideoCapture capture;
    capture.OnBitmapGrabbed = [&](const TCapturedBitmap& bitmap) { kept.push_back(bitmap); };
    TGraphConfig config = PreviewConfig("Cam");
    capture.ApplyConfig(&config);
    ASSERT_TRUE(capture.Previewing());
    auto grab = [&] {
        const size_t before = kept.size();
        ASSERT_TRUE(capture.GrabFrame());
        ASSERT_TRUE(WaitFor([&] { return kept.size() == before + 1; }));
    };
    for (int i = 0; i < 4; ++i)
        grab();
    for (size_t a = 0; a < kept.size(); ++a)
        for (size_t b = a + 1; b < kept.size(); ++b)
            EXPECT_NE(kept[a].constBits(), kept[b].constBits()) << a << " " << b;
    // Only the newest still held: the next frame goes elsewhere, and again after that.
    kept.erase(kept.begin(), kept.end() - 1);
    grab();
    grab();
    EXPECT_NE(kept[0].constBits(), kept[1].constBits());
    EXPECT_NE(kept[1].constBits(), kept[2].constBits());
    EXPECT_NE(kept[0].constBits(), kept[2].constBits());
    capture.OnBitmapGrabbed = nullptr;
}

TEST_F(VideoCaptureTest, FormatChangeIsAppliedAndReadBack) {
    Recorder recorder; // outlives the control, whose destructor still fires events
    TVideoCapture capture;
    PreviewWith(recorder, capture, "Cam");
    ASSERT_TRUE(capture.Previewing());
    EXPECT_EQ(capture.VideoCapabilityCount(), 10);
    const TVideoFormatInfo small = Capability(capture, "YUY2", 320, 240);
    ASSERT_EQ(small.BitCount, 16);
    EXPECT_EQ(small.MaxFrameRate, 30);
    EXPECT_EQ(small.MinFrameRate, 10);

    EXPECT_TRUE(capture.SetVideoFormat(small));
    EXPECT_FALSE(capture.GraphBuilt()); // torn down, for the caller to build again
    EXPECT_EQ(recorder.events.count("ChangeVCapMode"), 1);
    ASSERT_TRUE(capture.StartPreview());
    EXPECT_TRUE(SameVideoFormat(capture.GetVideoFormat(), small));
    ASSERT_TRUE(capture.GrabFrame());
    ASSERT_TRUE(WaitFor([&] { return !recorder.bitmaps.empty(); }));
    EXPECT_EQ(recorder.bitmaps.front().size(), QSize(320, 240));

    // The current format again: true without touching the graph; an unknown one: false.
    EXPECT_TRUE(capture.SetVideoFormat(small));
    EXPECT_TRUE(capture.Previewing());
    TVideoFormatInfo odd = small;
    odd.Width = 333;
    EXPECT_FALSE(capture.SetVideoFormat(odd));
    EXPECT_TRUE(capture.Previewing());

    // The format travels through the saved configuration to a new control.
    TGraphConfig saved;
    capture.ReadConfig(&saved);
    EXPECT_EQ(saved.VideoDevice, "Cam");
    EXPECT_EQ(saved.VideoFormat.Width, 320);
    Recorder nextRecorder; // outlives the control, whose destructor still fires events
    TVideoCapture next;
    nextRecorder.Attach(next);
    next.ApplyConfig(&saved);
    ASSERT_TRUE(next.Previewing());
    ASSERT_TRUE(next.GrabFrame());
    ASSERT_TRUE(WaitFor([&] { return !nextRecorder.bitmaps.empty(); }));
    EXPECT_EQ(nextRecorder.bitmaps.front().size(), QSize(320, 240));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
}

TEST_F(VideoCaptureTest, FrameRateOnlyWhenTheDeviceOffersIt) {
    TVideoCapture capture;
    TGraphConfig config = PreviewConfig("Cam");
    capture.UseFrameRate = true;
    capture.SetFrameRate(15);
    capture.ApplyConfig(&config);
    EXPECT_TRUE(capture.Previewing());
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    capture.SetFrameRate(25); // not among 10, 15 and 30
    capture.TearDownGraph();
    ASSERT_TRUE(capture.StartPreview());
    // First the refused rate with its code, then that the capture has no rate of its own.
    EXPECT_EQ(prompts.Texts(), QStringList({"80040206: can't set preview frame rate!",
                                            "Cannot set frame rate for capture!"}));
    EXPECT_EQ(prompts.shown[0].caption, "DirectShow - Capture");
}

TEST_F(VideoCaptureTest, CaptureFileIsRequiredAndDeletedAtEveryBuild) {
    QTemporaryDir dir;
    const QString file = dir.filePath("old.avi");
    TVideoCapture capture;
    TGraphConfig config = PreviewConfig("Cam");
    config.WantCapture = true;
    config.CaptureFileName = "";
    capture.CaptureFileName = "";
    capture.ApplyConfig(&config);
    EXPECT_EQ(prompts.Texts(), QStringList{"Capture filename required!"});
    EXPECT_FALSE(capture.GraphBuilt());

    QFile(file).open(QIODevice::WriteOnly);
    config.CaptureFileName = file;
    capture.ApplyConfig(&config);
    EXPECT_TRUE(capture.Previewing());
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(VideoCaptureTest, FailingSourceRaisesDeviceLostAndRecovers) {
    Recorder recorder; // outlives the control, whose destructor still fires events
    TVideoCapture capture;
    PreviewWith(recorder, capture, "Cam");
    ASSERT_TRUE(WaitFor([&] { return recorder.rendered > 0; }));
    recorder.events.clear();

    SetFakeCameraFault("Cam", FakeCameraFault::FailOnce);
    ASSERT_TRUE(WaitFor([&] { return recorder.events.size() >= 3; }));
    EXPECT_EQ(recorder.events, (QStringList{"DeviceLost", "StopPreview", "StartPreview"}));
    const int rendered = recorder.rendered;
    EXPECT_TRUE(WaitFor([&] { return recorder.rendered >= rendered + 3; }));
    EXPECT_TRUE(capture.Previewing());
    ASSERT_TRUE(capture.GrabFrame());
    EXPECT_TRUE(WaitFor([&] { return !recorder.bitmaps.empty(); }));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(VideoCaptureTest, UnpluggedCameraStopsThePreviewWithoutAHang) {
    Recorder recorder; // outlives the control, whose destructor still fires events
    TVideoCapture capture;
    PreviewWith(recorder, capture, "Cam");
    ASSERT_TRUE(WaitFor([&] { return recorder.rendered > 0; }));
    recorder.events.clear();

    SetFakeCameraFault("Cam", FakeCameraFault::Unplugged);
    ASSERT_TRUE(WaitFor([&] { return !prompts.shown.empty(); }));
    SetFakeCameraFault("Cam", FakeCameraFault::None);
    EXPECT_EQ(prompts.Texts(), QStringList{CameraProblemText});
    EXPECT_FALSE(capture.Previewing());
    // The restart that fails before a frame is the same failure, not a second loss.
    EXPECT_EQ(recorder.events,
              (QStringList{"DeviceLost", "StopPreview", "StartPreview", "StopPreview"}));
    // Nothing further happens on its own; the user starts it again once it is back.
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.events.size(), 4);
    ASSERT_TRUE(capture.StartPreview());
    const int rendered = recorder.rendered;
    EXPECT_TRUE(WaitFor([&] { return recorder.rendered >= rendered + 2; }));
}

int CountEntries(const char* folder) {
    return int(
        QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

TEST_F(VideoCaptureTest, ManyRunsFreedWhileFramesFlowLeaveNothingBehind) {
    auto cycle = [&](int n) {
        for (int i = 0; i < n; ++i) {
            Recorder recorder;
            auto capture = std::make_unique<TVideoCapture>();
            recorder.Attach(*capture);
            TGraphConfig config = PreviewConfig(i % 2 ? "Cam" : "Cam (2)");
            capture->ApplyConfig(&config);
            ASSERT_TRUE(capture->Previewing());
            capture->GrabFrame();
            ASSERT_TRUE(WaitFor([&] { return recorder.rendered >= 2; }));
            if (i % 3 == 0) {
                capture->StopPreview();
                ASSERT_TRUE(capture->StartPreview());
            }
            capture->GrabFrame();
            capture.reset(); // while frames flow and a request is pending
            QCoreApplication::processEvents();
        }
    };
    cycle(3);
    const int threads = CountEntries("/proc/self/task");
    const int files = CountEntries("/proc/self/fd");
    cycle(40);
    QCoreApplication::processEvents();
    EXPECT_LE(CountEntries("/proc/self/task"), threads + 3);
    EXPECT_LE(CountEntries("/proc/self/fd"), files);
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
}

} // namespace

namespace {

TEST_F(VideoCaptureTest, OnlyTheFormatDialogIsOfferedForACameraWithoutDeviceNode) {
    Recorder recorder;
    TVideoCapture capture;
    recorder.Attach(capture);
    TGraphConfig config = PreviewConfig("Cam");
    capture.ApplyConfig(&config);
    EXPECT_EQ(capture.AvailableDialogs(), 1u << VideoFormatSettingsDialog);
    EXPECT_EQ(DeviceDialogName(VideoFormatSettingsDialog), "Video Format Settings");
    EXPECT_EQ(DeviceDialogName(VideoSourceSettingsDialog), "Video Source Settings");
    for (int kind : {0, 3, 4, 7, 8, 13, 14, -1})
        EXPECT_FALSE(capture.ShowDeviceDialog(kind)) << kind;

    // The format dialog gets the capabilities and the current one; its choice is applied
    // and the preview runs again.
    int shownCurrent = -2;
    capture.ShowFormatSettingsDialog = [&](const std::vector<TVideoFormatInfo>& capabilities,
                                           int current) -> std::optional<int> {
        shownCurrent = current;
        for (int i = 0; i < int(capabilities.size()); ++i)
            if (capabilities[size_t(i)].SubType == "BGR" && capabilities[size_t(i)].Width == 320)
                return i;
        return std::nullopt;
    };
    EXPECT_TRUE(capture.ShowDeviceDialog(VideoFormatSettingsDialog));
    EXPECT_EQ(shownCurrent, 0);
    ASSERT_TRUE(capture.Previewing());
    ASSERT_TRUE(capture.GrabFrame());
    ASSERT_TRUE(WaitFor([&] { return !recorder.bitmaps.empty(); }));
    EXPECT_EQ(recorder.bitmaps.front().size(), QSize(320, 240));
    EXPECT_EQ(capture.GetVideoFormat().SubType, "BGR");
}

TEST(V4l2ControlsTest, MissingNodeGivesNoControls) {
    EXPECT_TRUE(ReadV4l2Controls("").empty());
    EXPECT_TRUE(ReadV4l2Controls("/nonexistent/video9").empty());
    EXPECT_FALSE(SetV4l2Control("/nonexistent/video9", 0x00980900, 1));
}

} // namespace
