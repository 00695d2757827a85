#include "Snapshots.h"

#include "imaging/Bitmap.h"
#include "platform/Errors.h"
#include "platform/NumberFormat.h"
#include "settings/SettingsUtilities.h"

#include <algorithm>
#include <cmath>

QString GetImageExtension(int imageExtention) {
    switch (imageExtention) {
    case 0:
        return QStringLiteral(".bmp");
    case 1:
        return QStringLiteral(".jpg");
    case 2:
        return QStringLiteral(".png");
    case 3:
        return QStringLiteral(".tif");
    default:
        return {};
    }
}

QString FiveDigits(int number) {
    return QStringLiteral("%1").arg(number, 5, 10, QLatin1Char('0'));
}

QString MakeSnapshotFileName(const SnapshotNaming& n) {
    QString folder = n.PhotoFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString number = FiveDigits(n.CaptureNr);
    const QString date = n.SampleDate.toString(QStringLiteral("yyyy-MM-dd"));
    // The prefix is often a device name ("USB2.0 Camera: 1/2"): a part of the name, never a
    // path into another folder.
    QString prefix = n.Prefix;
    SanitizeFileName(prefix);
    QString name;
    switch (n.NameBoxIndex) {
    case 0:
        name = number;
        break;
    case 1:
        name = prefix + QLatin1Char('_') + number;
        break;
    case 2:
        name = prefix + QLatin1Char('_') + date + QLatin1Char('_') + number;
        break;
    case 3:
        name = prefix + QLatin1Char('_') + date + QLatin1Char('_') +
               n.Now.toString(QStringLiteral("HH-mm-ss")) + QLatin1Char('_') + number;
        break;
    default:
        name = QStringLiteral("Image");
        break;
    }
    return folder + name + GetImageExtension(n.ImageExtention);
}

int NextCaptureNr(int captureNr) {
    const int next = captureNr + 1;
    return next > 99999 || next < 0 ? 0 : next;
}

QSize FitVideoSize(int videoWidth, int videoHeight, const QSize& area) {
    const double ratio = videoWidth == 0 ? 0.75 : double(videoHeight) / videoWidth;
    int width = area.width() - 4;
    int height = int(std::nearbyint(width * ratio));
    if (height > area.height() - 4) {
        height = area.height() - 4;
        width = ratio > 0 ? int(std::nearbyint(height / ratio)) : width;
    }
    return {std::max(width, 0), std::max(height, 0)};
}

std::optional<int> ParseStackFrameCount(const QString& text) {
    const QString digits = text.trimmed();
    if (digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const auto value = ParseInteger(digits);
    if (!value || *value < MinStackFrames || *value > MaxStackFrames)
        return std::nullopt;
    return int(*value);
}

void TFrameStack::Reset(int width, int height) {
    NewBitmap(width, height); // the size check and its message
    width_ = width;
    height_ = height;
    frames_ = 0;
    sums_.assign(size_t(width) * size_t(height) * 3, 0);
}

void TFrameStack::Add(const QImage& frame) {
    if (frames_ >= MaxStackFrames)
        throw QuvarError(QStringLiteral("At most %1 frames can be averaged.").arg(MaxStackFrames));
    const QImage image = frame.format() == QImage::Format_BGR888 ||
                                 frame.format() == QImage::Format_RGB32 ||
                                 frame.format() == QImage::Format_ARGB32
                             ? frame
                             : frame.convertToFormat(QImage::Format_BGR888);
    const int width = std::min(width_, image.width());
    const int height = std::min(height_, image.height());
    const bool packed = image.format() == QImage::Format_BGR888;
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = image.constScanLine(y);
        uint32_t* sum = sums_.data() + size_t(y) * size_t(width_) * 3;
        if (packed) {
            for (int i = 0; i < width * 3; ++i)
                sum[i] += source[i];
        } else {
            // 32-bit pixels lie blue, green, red, unused in memory.
            for (int x = 0; x < width; ++x) {
                sum[3 * x] += source[4 * x];
                sum[3 * x + 1] += source[4 * x + 1];
                sum[3 * x + 2] += source[4 * x + 2];
            }
        }
    }
    ++frames_;
}

QImage TFrameStack::Average() const {
    QImage result = NewBitmap(width_, height_);
    const uint32_t n = uint32_t(std::max(frames_, 1));
    for (int y = 0; y < height_; ++y) {
        uint8_t* target = result.scanLine(y);
        const uint32_t* sum = sums_.data() + size_t(y) * size_t(width_) * 3;
        for (int i = 0; i < width_ * 3; ++i)
            target[i] = uint8_t(std::min<uint32_t>(sum[i] / n, 255));
    }
    return result;
}
