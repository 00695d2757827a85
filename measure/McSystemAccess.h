#pragma once
// Bounded access to the system and objective in use. Indices come from files and image
// comments (CameraMic, DefaultObjective, ImageObj), so every one is checked before it
// reaches the table.

#include "measure/MainFields.h"

#include <algorithm>

// -1 (the image's own system) or one of the configured systems.
inline bool SystemInUse(const TMainFields& Main, int system) {
    return system == -1 || (system >= 0 && system < std::min(Main.NrOfMCSystems, MaxMCSystems));
}

inline int ObjectivesInUse(const TMCsystem& system) {
    return std::clamp(system.NrOfObjectives, 0, MaxObjectives);
}

inline bool ObjectiveInUse(const TMCsystem& system, int objective) {
    return objective >= 0 && objective < ObjectivesInUse(system);
}

// The record of CurrentMCSystem, or nullptr when that index is no system in use.
inline TMCsystem* CurrentSystem(TMainFields& Main) {
    return SystemInUse(Main, Main.CurrentMCSystem) ? &Main.MCSystems[Main.CurrentMCSystem]
                                                   : nullptr;
}
inline const TMCsystem* CurrentSystem(const TMainFields& Main) {
    return SystemInUse(Main, Main.CurrentMCSystem) ? &Main.MCSystems[Main.CurrentMCSystem]
                                                   : nullptr;
}

// The capture system (DefaultMCSystem), or nullptr when it names no configured system.
inline TMCsystem* CaptureSystem(TMainFields& Main) {
    return Main.DefaultMCSystem >= 0 && Main.DefaultMCSystem < MaxMCSystems &&
                   Main.DefaultMCSystem < Main.NrOfMCSystems
               ? &Main.MCSystems[Main.DefaultMCSystem]
               : nullptr;
}

// The system's current objective, put back to 0 when it is not one in use; -1 when the
// system has no objectives.
inline int BoundCurrentObjective(TMCsystem& system) {
    if (ObjectivesInUse(system) == 0)
        return -1;
    if (!ObjectiveInUse(system, system.CurrentObjective))
        system.CurrentObjective = 0;
    return system.CurrentObjective;
}

// The current objective's stored calibration (signed); 0 without one.
inline double CurrentObjectiveCalibration(const TMCsystem& system) {
    return ObjectiveInUse(system, system.CurrentObjective)
               ? system.Objectives[size_t(system.CurrentObjective)].Cal
               : 0.0;
}
