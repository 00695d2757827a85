#include "RecordingPlan.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

namespace recording {

QStringList FPSItems() {
    return {"4", "6", "8", "10", "12", "15", "20"};
}
QStringList TLFPSItems() {
    return {"5", "10", "15", "20", "25"};
}
QStringList IntervalItems() {
    return {"0.2", "0.25", "0.33", "0.5", "1",  "2",   "3",   "4",   "5",
            "10",  "20",   "40",   "50",  "60", "120", "180", "240", "300"};
}
QStringList TimeUnitItems() {
    return {"seconds", "minutes", "hours"};
}
QStringList SizeItems() {
    return {"  640 x 480", "  800 x 600", "1024 x 768", "2048 x 1536"};
}
QString NoCompressionItem() {
    return QStringLiteral("No Compression");
}

} // namespace recording

namespace {

const QString& Item(const QStringList& items, int index, const char* what) {
    if (index < 0 || index >= items.size())
        throw std::invalid_argument(std::string("Choose ") + what + " for the recording.");
    return items[index];
}

// Nearest integer, halves to even (the default rounding mode).
int64_t RoundToEven(double value) {
    return int64_t(std::nearbyint(value));
}

} // namespace

TRecordingPlan PlanRecording(const TRecordingSettings& settings) {
    TRecordingPlan plan;
    if (settings.UseNormalVideo) {
        plan.FrameRate = Item(recording::FPSItems(), settings.NVFPS, "a frame rate").toInt();
        plan.FrameTimeMs = int(RoundToEven(1000.0 / plan.FrameRate));
        plan.IntervalMs = plan.FrameTimeMs;
        plan.RecordDuration = settings.NVTimeLimit;
        plan.PlannedFrames = int64_t(plan.FrameRate) * settings.NVTimeLimit;
    } else {
        plan.FrameRate =
            Item(recording::TLFPSItems(), settings.TLFPS, "a playback frame rate").toInt();
        plan.FrameTimeMs = int(RoundToEven(1000.0 / plan.FrameRate));
        const double interval =
            Item(recording::IntervalItems(), settings.TLInterval, "a capture interval").toDouble();
        Item(recording::TimeUnitItems(), settings.TimeUnits, "the unit of the capture interval");
        plan.IntervalMs = RoundToEven(interval * 1000);
        if (settings.TimeUnits == 1)
            plan.IntervalMs *= 60;
        else if (settings.TimeUnits == 2)
            plan.IntervalMs *= 3600;
        plan.RecordDuration = int64_t(settings.TLTimeLimit) * plan.IntervalMs / 1000;
        plan.PlannedFrames = settings.TLTimeLimit;
    }
    if (plan.IntervalMs < 1 || plan.IntervalMs > std::numeric_limits<int32_t>::max())
        throw std::invalid_argument(
            "The capture interval must be at least 1 ms and at most 24 days.");
    return plan;
}

bool RecordingDurationReached(int64_t record_duration_s, int64_t elapsed_ms) {
    return record_duration_s * 1000 < elapsed_ms;
}

QSize AviSizeForIndex(int size_index) {
    switch (size_index) {
    case 0:
        return {640, 480};
    case 1:
        return {800, 600};
    case 2:
        return {1024, 768};
    case 3:
        return {2048, 1536};
    default:
        return {640, 640};
    }
}

QString ProposedVideoName(const QDate& date, int avi_nr) {
    return QStringLiteral("Video_%1_%2.avi")
        .arg(date.toString(QStringLiteral("yyyy-MM-dd")))
        .arg(avi_nr, 5, 10, QChar('0'));
}

int NextAVINr(int avi_nr) {
    return avi_nr + 1 > 99999 ? 0 : avi_nr + 1;
}

int FreeAVINr(const QString& folder, const QDate& date, int avi_nr) {
    const QDir dir(folder);
    int number = avi_nr;
    for (int tried = 0; tried <= 99999; ++tried) {
        const QFileInfo entry(dir.filePath(ProposedVideoName(date, number)));
        if (!entry.exists() && !entry.isSymLink())
            return number;
        number = NextAVINr(number);
    }
    return avi_nr;
}

QString FrameFileName(const QString& video_file_name, int tick_count) {
    return QFileInfo(video_file_name).completeBaseName() +
           QStringLiteral("-%1.bmp").arg(tick_count, 6, 10, QChar('0'));
}

QStringList FrameFilesInTickOrder(const QStringList& file_names) {
    static const QRegularExpression frame_file(QStringLiteral("-(\\d+)\\.bmp$"),
                                               QRegularExpression::CaseInsensitiveOption);
    std::vector<std::pair<qint64, QString>> frames;
    for (const QString& name : file_names) {
        const QRegularExpressionMatch match = frame_file.match(name);
        if (match.hasMatch())
            frames.emplace_back(match.captured(1).toLongLong(), name);
    }
    std::stable_sort(frames.begin(), frames.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList ordered;
    for (const auto& frame : frames)
        ordered << frame.second;
    return ordered;
}
