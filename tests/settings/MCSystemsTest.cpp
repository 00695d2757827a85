#include "settings/MCSystems.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString Folder(const QTemporaryDir& dir) {
    return dir.path() + "/";
}

void WriteCalFile(const QTemporaryDir& dir, const QByteArray& bytes) {
    QFile file(dir.filePath("Quvar-cal.ini"));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

QByteArray ReadCalFile(const QTemporaryDir& dir) {
    QFile file(dir.filePath("Quvar-cal.ini"));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

TMCsystem SampleSystem() {
    TMCsystem s;
    s.Name = QString::fromUtf8("Zeiss µ-cam");
    s.CamIsDSLR = true;
    s.CaptureWidth = 4000;
    s.NrOfObjectives = 3;
    s.DefaultObjective = 2;
    s.Objectives[0] = {4, "4x", 1.25};
    s.Objectives[1] = {10, "10x/0.25 Ph1", -0.5};
    s.Objectives[2] = {40, "40x/0.65", 0.125};
    return s;
}

} // namespace

TEST(CalibrationFile, RoundTripGivesTheSameTable) {
    QTemporaryDir dir;
    MCSystemTable table;
    table[0] = SampleSystem();
    table[1].Name = "Second";
    table[1].CurrentObjective = 0;
    SaveCalibration(table, 2, Folder(dir));

    MCSystemTable read;
    ASSERT_EQ(LoadCalibration(read, Folder(dir)), 2);
    TMCsystem expected = SampleSystem();
    expected.CurrentObjective = expected.DefaultObjective;
    EXPECT_EQ(read[0], expected);
    EXPECT_EQ(read[1], table[1]);
    EXPECT_EQ(read[-1], TMCsystem{}) << "record -1 is never stored";
}

TEST(CalibrationFile, KeysInOrderWithTheLowerCaseSpelling) {
    QTemporaryDir dir;
    MCSystemTable table;
    table[0] = SampleSystem();
    table[0].NrOfObjectives = 1;
    table[1].Name = "Empty";
    SaveCalibration(table, 2, Folder(dir));
    EXPECT_EQ(
        ReadCalFile(dir),
        QByteArray("[MCsystems]\r\nNrOfMCsystems=2\r\n"
                   "[MCsystem0]\r\nName0=Zeiss \xB5-cam\r\nCamIsDSLR=1\r\nCaptureWidth=4000\r\n"
                   "NrofObjectives=1\r\nDefaultObjective=2\r\nObj0=4\r\nObjStr0=4x\r\nCal0=1.25\r\n"
                   "[MCsystem1]\r\nName1=Empty\r\nCamIsDSLR=0\r\nCaptureWidth=0\r\n"
                   "NrofObjectives=0\r\nDefaultObjective=0\r\n"));
}

TEST(CalibrationFile, SavingZeroSystemsForgetsEarlierKeys) {
    QTemporaryDir dir;
    MCSystemTable table;
    table[0] = SampleSystem();
    SaveCalibration(table, 1, Folder(dir));
    SaveCalibration(table, 0, Folder(dir));
    EXPECT_EQ(ReadCalFile(dir), QByteArray("[MCsystems]\r\nNrOfMCsystems=0\r\n"));
}

TEST(CalibrationFile, ReaderDefaultsAndSigns) {
    QTemporaryDir dir;
    WriteCalFile(dir, "[MCsystems]\nNrOfMCsystems=1\n[MCsystem0]\nNrofObjectives=3\n"
                      "Obj0=0x10\nCal0=-0.25\nCal1=0,5\nObj2=20\nCaptureWidth=abc\n");
    MCSystemTable table;
    ASSERT_EQ(LoadCalibration(table, Folder(dir)), 1);
    const TMCsystem& s = table[0];
    EXPECT_EQ(s.Name, "NoName");
    EXPECT_EQ(s.NrOfObjectives, 3);
    EXPECT_EQ(s.CaptureWidth, 0);
    EXPECT_EQ(s.Objectives[0].Obj, 0) << "a float is decimal only";
    EXPECT_EQ(s.Objectives[0].Cal, -0.25);
    EXPECT_TRUE(IsCalibrated(s.Objectives[0].Cal)) << "an estimate counts";
    EXPECT_EQ(s.Objectives[1].Cal, 0) << "a comma float reads as 0";
    EXPECT_EQ(s.Objectives[2].Obj, 20);
    EXPECT_FALSE(IsCalibrated(5e-11));
}

TEST(CalibrationFile, CountsBeyondTheTableAreCutAndIndicesBounded) {
    QTemporaryDir dir;
    WriteCalFile(dir, "[MCsystems]\nNrOfMCsystems=40\n[MCsystem0]\nNrofObjectives=99\n"
                      "DefaultObjective=50\n[MCsystem1]\nNrofObjectives=-3\nDefaultObjective=-1\n"
                      "[MCsystem2]\nNrofObjectives=2\nDefaultObjective=1\n");
    MCSystemTable table;
    EXPECT_EQ(LoadCalibration(table, Folder(dir)), MaxMCSystems);
    EXPECT_EQ(table[0].NrOfObjectives, MaxObjectives);
    EXPECT_EQ(table[0].DefaultObjective, 0);
    EXPECT_EQ(table[1].NrOfObjectives, 0);
    EXPECT_EQ(table[1].DefaultObjective, 0);
    EXPECT_EQ(table[2].DefaultObjective, 1);
    EXPECT_EQ(table[2].CurrentObjective, 1);
}

TEST(CalibrationFile, MissingFileReadsAsNoSystems) {
    QTemporaryDir dir;
    MCSystemTable table;
    EXPECT_EQ(LoadCalibration(table, Folder(dir)), 0);
}
