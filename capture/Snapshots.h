#pragma once
// The rules behind the preview window's commands: snapshot names and the counter, fitting
// the video into the window, and averaging several frames into one.

#include <QDate>
#include <QImage>
#include <QSize>
#include <QString>
#include <QTime>
#include <cstdint>
#include <optional>
#include <vector>

// ".bmp", ".jpg", ".png", ".tif" for 0 to 3; no extension for any other value.
QString GetImageExtension(int imageExtention);

struct SnapshotNaming {
    QString PhotoFolder;
    int CaptureNr = 0;
    QString Prefix;
    int NameBoxIndex = 0;
    int ImageExtention = 1;
    QDate SampleDate; // the measuring window's sample date, not today
    QTime Now;        // the time of day in scheme 3
};

// Folder (with a trailing "/") + the name of the scheme + the extension: 0 "00007",
// 1 "Snapshot_00007", 2 "Snapshot_2024-05-17_00007", 3 "Snapshot_2024-05-17_14-03-09_00007",
// any other scheme "Image". The prefix has " * / : < > ? \ | replaced by "_", as a device
// file name has, so it never names another folder.
QString MakeSnapshotFileName(const SnapshotNaming& naming);

// The counter after a snapshot: one more, and 0 after 99999.
int NextCaptureNr(int captureNr);

// The number with at least five digits ("00042").
QString FiveDigits(int number);

// "Fit to Window": the largest size of the video's shape that fits the area less a
// 4-pixel margin (the shape of 640 x 480 when the video's width is 0). Halves round to even.
QSize FitVideoSize(int videoWidth, int videoHeight, const QSize& area);

// The "Nr of frames" box: a positive whole number up to MaxStackFrames, else nothing. The
// sums are 32-bit: MaxStackFrames frames of 255 still add up exactly.
inline constexpr int MinStackFrames = 1;
inline constexpr int MaxStackFrames = int(UINT32_MAX / 255); // 16,843,009
std::optional<int> ParseStackFrameCount(const QString& text);

// Sums of several frames, per pixel and channel, sized to the result. A frame of another
// size adds its top-left part; where it is smaller, it adds nothing (black padding).
class TFrameStack {
public:
    // Zeroes the sums for a result of width x height (throws for a size not allowed).
    void Reset(int width, int height);
    // Adds a 24- or 32-bit frame (other formats are converted first); at most
    // MaxStackFrames frames, so the sums stay exact (throws beyond).
    void Add(const QImage& frame);
    int FramesAdded() const { return frames_; }
    // The average of the frames added so far (truncating), as a 24-bit bitmap.
    QImage Average() const;

    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_ = 0;
    int height_ = 0;
    int frames_ = 0;
    // Row by row, blue-green-red per pixel.
    std::vector<uint32_t> sums_;
};
