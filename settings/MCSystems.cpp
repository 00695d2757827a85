#include "MCSystems.h"

#include "platform/IniFile.h"

#include <algorithm>

namespace {

QString SystemSection(int i) {
    return QStringLiteral("MCsystem%1").arg(i);
}

} // namespace

QString CalibrationFileName() {
    return QStringLiteral("Quvar-cal.ini");
}

int LoadCalibration(MCSystemTable& systems, const QString& programFolder) {
    const IniFile ini(programFolder + CalibrationFileName());
    const int count =
        std::clamp(ini.ReadInteger(QStringLiteral("MCsystems"), QStringLiteral("NrOfMCsystems"), 0),
                   0, MaxMCSystems);
    for (int i = 0; i < count; ++i) {
        const QString section = SystemSection(i);
        TMCsystem& system = systems[i];
        system.Name =
            ini.ReadString(section, QStringLiteral("Name%1").arg(i), QStringLiteral("NoName"));
        system.CamIsDSLR = ini.ReadBool(section, QStringLiteral("CamIsDSLR"), false);
        system.CaptureWidth = ini.ReadInteger(section, QStringLiteral("CaptureWidth"), 0);
        system.NrOfObjectives = std::clamp(
            ini.ReadInteger(section, QStringLiteral("NrOfObjectives"), 0), 0, MaxObjectives);
        system.DefaultObjective = ini.ReadInteger(section, QStringLiteral("DefaultObjective"), 0);
        if (system.DefaultObjective < 0 || system.DefaultObjective >= system.NrOfObjectives)
            system.DefaultObjective = 0;
        for (int j = 0; j < system.NrOfObjectives; ++j) {
            ObjCal& objective = system.Objectives[size_t(j)];
            objective.Obj = ini.ReadFloat(section, QStringLiteral("Obj%1").arg(j), 0);
            objective.ObjStr =
                ini.ReadString(section, QStringLiteral("ObjStr%1").arg(j), QString());
            objective.Cal = ini.ReadFloat(section, QStringLiteral("Cal%1").arg(j), 0);
        }
        system.CurrentObjective = system.DefaultObjective;
    }
    return count;
}

void SaveCalibration(const MCSystemTable& systems, int count, const QString& programFolder) {
    count = std::clamp(count, 0, MaxMCSystems);
    IniFile ini(programFolder + CalibrationFileName(), IniFile::Start::Empty);
    ini.WriteInteger(QStringLiteral("MCsystems"), QStringLiteral("NrOfMCsystems"), count);
    for (int i = 0; i < count; ++i) {
        const QString section = SystemSection(i);
        const TMCsystem& system = systems[i];
        const int objectives = std::clamp(system.NrOfObjectives, 0, MaxObjectives);
        ini.WriteString(section, QStringLiteral("Name%1").arg(i), system.Name);
        ini.WriteBool(section, QStringLiteral("CamIsDSLR"), system.CamIsDSLR);
        ini.WriteInteger(section, QStringLiteral("CaptureWidth"), system.CaptureWidth);
        ini.WriteInteger(section, QStringLiteral("NrofObjectives"), objectives);
        ini.WriteInteger(section, QStringLiteral("DefaultObjective"), system.DefaultObjective);
        for (int j = 0; j < objectives; ++j) {
            const ObjCal& objective = system.Objectives[size_t(j)];
            ini.WriteFloat(section, QStringLiteral("Obj%1").arg(j), objective.Obj);
            ini.WriteString(section, QStringLiteral("ObjStr%1").arg(j), objective.ObjStr);
            ini.WriteFloat(section, QStringLiteral("Cal%1").arg(j), objective.Cal);
        }
    }
    ini.Save();
}
