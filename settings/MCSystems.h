#pragma once
// The microscope-camera systems: objectives with their calibrations, the table of the
// measuring window (index -1 is the system of the image on display, 0-15 the configured
// ones) and the calibration file "Quvar-cal.ini" that keeps the table between runs.

#include <QString>

#include <array>
#include <cassert>

constexpr int MaxMCSystems = 16;
constexpr int MaxObjectives = 32;

// Calibration magnitudes below this count as not calibrated.
constexpr double CalibrationEpsilon = 1e-10;

struct ObjCal {
    double Obj = 0; // magnification; 0 when unknown
    QString ObjStr; // label as typed: magnification, then an optional comment
    double Cal = 0; // micrometres per pixel at CaptureWidth; 0 none, < 0 an estimate

    bool operator==(const ObjCal&) const = default;
};

struct TMCsystem {
    QString Name = QStringLiteral("NoName");
    bool CamIsDSLR = false;
    int CaptureWidth = 0;
    int NrOfObjectives = 0;
    int CurrentObjective = 0; // never stored
    int DefaultObjective = 0;
    std::array<ObjCal, MaxObjectives> Objectives{};

    bool operator==(const TMCsystem&) const = default;
};

// Indexed from -1 to 15, as the measuring window addresses it.
class MCSystemTable {
public:
    TMCsystem& operator[](int index) {
        assert(index >= -1 && index < MaxMCSystems);
        return records_[size_t(index + 1)];
    }
    const TMCsystem& operator[](int index) const {
        assert(index >= -1 && index < MaxMCSystems);
        return records_[size_t(index + 1)];
    }
    // Every record back to its start state.
    void Reset() { records_.fill(TMCsystem{}); }

private:
    std::array<TMCsystem, MaxMCSystems + 1> records_{};
};

// True when a calibration value counts as calibrated (measured or estimated).
inline bool IsCalibrated(double cal) {
    return cal > CalibrationEpsilon || cal < -CalibrationEpsilon;
}

QString CalibrationFileName(); // "Quvar-cal.ini"

// Reads "Quvar-cal.ini" from programFolder into records 0 onward and returns the number
// of systems read (0 for a missing file). Counts beyond 16 systems or 32 objectives are
// cut to the limits; a default objective outside the objectives in use reads as 0.
int LoadCalibration(MCSystemTable& systems, const QString& programFolder);

// Rewrites "Quvar-cal.ini" whole with records 0 to count - 1; throws
// "Unable to write to <file>" and leaves the old file whole when that fails.
void SaveCalibration(const MCSystemTable& systems, int count, const QString& programFolder);
