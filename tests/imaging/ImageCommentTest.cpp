#include "imaging/ImageComment.h"
#include "imaging/ImageFiles.h"

#include <gtest/gtest.h>

namespace {

TMCsystem ScopeA() {
    TMCsystem system;
    system.Name = QStringLiteral("Scope A");
    system.CaptureWidth = 2592;
    system.NrOfObjectives = 1;
    system.Objectives[0] = {40, QStringLiteral("40 plan"), 2.5 / 29};
    return system;
}

TMCsystem ThreeObjectives() {
    TMCsystem system;
    system.Name = QStringLiteral("Bench");
    system.CaptureWidth = 1600;
    system.NrOfObjectives = 3;
    system.Objectives[0] = {4, QStringLiteral("4"), 2.0};
    system.Objectives[1] = {10, QStringLiteral("10 plan apo"), 0.8123456789012344};
    system.Objectives[2] = {40, QStringLiteral("40"), -0.00005};
    system.CurrentObjective = 1;
    return system;
}

// The comment as a loader hands it over: one line per item.
QStringList Lines(const QString& text) {
    return text.split(QStringLiteral("\r\n"));
}

} // namespace

TEST(ImageComment, WritesTheCommentOfOneSystemByteForByte) {
    const TMCsystem system = ScopeA();
    const QStringList comment = AssembleComment(
        SystemCommentSection(system, 0, 0.0862069, QDate(2024, 5, 17), QStringLiteral("Pond 3"),
                             QStringLiteral("52.1N 4.3E")),
        MCSystemCommentSection(system, 0, 0.0862069));
    const QString expected = QStringLiteral("[QUVARSystemComment]\r\n"
                                            "Pond 3\r\n"
                                            "52.1N 4.3E\r\n"
                                            "SampleDate = 2024-05-17\r\n"
                                            "Scope A;  Obj: 40 X;  um/pixel: 0.086210\r\n"
                                            "\r\n"
                                            "[QUVARMCSystemComment]\r\n"
                                            "Revision = 3006\r\n"
                                            "Magnification = 40 X\r\n"
                                            "Calibration = 0.086210\r\n"
                                            "MCsystem = Scope A\r\n"
                                            "CaptureWidth = 2592\r\n"
                                            "NrOfObjectives = 1\r\n"
                                            "ImageObj = 0\r\n"
                                            "obj0 = 40\r\n"
                                            "objstr0 = 40 plan\r\n"
                                            "cal0 = 0.0862068965517241\r\n"
                                            "\r\n");
    EXPECT_EQ(CommentText(comment), expected);
    EXPECT_EQ(comment.size(), 2);
}

TEST(ImageComment, CalibrationFormat) {
    const std::pair<double, const char*> cases[] = {
        {0.0862069, "0.086210"}, {1.5, "1.500000"},        {0.00012345, "0.000123"},
        {12345.6, "1.235E4"},    {10000, "1E4"},           {0, "0.000000"},
        {0.00005, "0.000050"},   {0.0000004, "0.000000"},  {0.0000005, "0.000001"},
        {0.086205, "0.086210"},  {1234.56, "1235.000000"}, {9999.96, "10000.000000"},
        {99995, "1E5"},          {-0.25, "-0.250000"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FormatCommentCalibration(value), QString::fromLatin1(text)) << value;
}

TEST(ImageComment, OtherRealsInTheGeneralFormat) {
    const QStringList lines = MCSystemCommentSection(ThreeObjectives(), 1, 0.5);
    EXPECT_TRUE(lines.contains(QStringLiteral("cal2 = -5E-5")));
    EXPECT_TRUE(lines.contains(QStringLiteral("cal1 = 0.812345678901234")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Magnification = 10 X")));
    EXPECT_TRUE(lines.contains(QStringLiteral("ImageObj = 1")));
}

TEST(ImageComment, SystemWithoutObjectivesHasEightLines) {
    TMCsystem system;
    system.CurrentObjective = 3;
    const QStringList lines = MCSystemCommentSection(system, 3, 0);
    EXPECT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[7], QStringLiteral("ImageObj = 0"));
}

TEST(ImageComment, LineBreaksInTextsBecomeBlanks) {
    TMCsystem system = ScopeA();
    system.Name = QStringLiteral("Scope\r\nA");
    system.Objectives[0].ObjStr = QStringLiteral("40\nplan");
    const QString text = CommentText(AssembleComment(
        SystemCommentSection(system, 0, 1, QDate(2024, 5, 17), QStringLiteral("Pond\r3"),
                             QStringLiteral("52.1N\n4.3E")),
        MCSystemCommentSection(system, 0, 1)));
    const QStringList lines = Lines(text);
    EXPECT_EQ(lines[1], QStringLiteral("Pond 3"));
    EXPECT_EQ(lines[2], QStringLiteral("52.1N 4.3E"));
    EXPECT_EQ(lines[3], QStringLiteral("SampleDate = 2024-05-17"));
    EXPECT_EQ(GetCommentValue(QStringLiteral("objstr0"), lines), QStringLiteral("40 plan"));
    EXPECT_EQ(GetCommentValue(QStringLiteral("MCsystem"), lines), QStringLiteral("Scope A"));
}

TEST(ImageComment, DateNeverSetReadsBack) {
    const QStringList lines = SystemCommentSection(ScopeA(), 0, 1, QDate(), {}, {});
    EXPECT_EQ(lines[3], QStringLiteral("SampleDate = 1899-12-30"));
    EXPECT_EQ(CommentLineDate(lines[3]), QDate(1899, 12, 30));
    EXPECT_FALSE(CommentLineDate(QStringLiteral("SampleDate = 2024-5-7")));
}

TEST(GetCommentValue, MatchesAnywhereAndTakesTheFixedPosition) {
    const QStringList lines{
        QStringLiteral("CALIBRATION = 0.5"),
        QStringLiteral("xcal1 = 5"),
        QStringLiteral("obj0 = 40\t"),
        QStringLiteral("obj0 = 63 "),
    };
    EXPECT_EQ(GetCommentValue(QStringLiteral("Calibration"), lines), QStringLiteral("0.5"));
    // The key is found inside the longer line, the value taken as if the key began it.
    EXPECT_EQ(GetCommentValue(QStringLiteral("cal1"), lines), QStringLiteral("= 5"));
    EXPECT_EQ(GetCommentValue(QStringLiteral("obj0"), lines), QStringLiteral("63"));
    EXPECT_EQ(GetCommentValue(QStringLiteral("objstr0"), lines), QString());
}

TEST(GetCommentValue, CutsAtTheFirst255Characters) {
    const QStringList lines{QStringLiteral("objstr0 = ") + QString(300, u'a')};
    EXPECT_EQ(GetCommentValue(QStringLiteral("objstr0"), lines), QString(245, u'a'));
}

TEST(ReadCommentSystem, ReadsBackWhatWasWritten) {
    const TMCsystem system = ThreeObjectives();
    const auto read = ReadCommentSystem(MCSystemCommentSection(system, 1, 0.4));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->ImageObjective, 1);
    EXPECT_EQ(read->ImageCalibration, 0.4);
    EXPECT_EQ(read->System.Name, system.Name);
    EXPECT_EQ(read->System.CaptureWidth, 1600);
    EXPECT_EQ(read->System.NrOfObjectives, 3);
    EXPECT_EQ(read->System.CurrentObjective, 1);
    EXPECT_EQ(read->System.Objectives[1].ObjStr, QStringLiteral("10 plan apo"));
    EXPECT_EQ(read->System.Objectives[2].Cal, -0.00005);
    EXPECT_EQ(read->System.Objectives[0].Obj, 4);
}

TEST(ReadCommentSystem, OlderKeysCountsAndLabels) {
    // No "NrOfObjectives": the count of cal1, cal2, ... (cal0 is not counted).
    EXPECT_EQ(CountedObjectives({QStringLiteral("cal0 = 1"), QStringLiteral("cal1 = 2"),
                                 QStringLiteral("cal2 = 3")}),
              2);
    EXPECT_EQ(CountedObjectives({QStringLiteral("cal0 = 1")}), 0);

    const QStringList lines{
        QStringLiteral("microscope = Old scope"),
        QStringLiteral("CaptureWidth = 800"),
        QStringLiteral("ImageObj = 1"),
        QStringLiteral("um/pixel = 0,25"),
        QStringLiteral("obj0 = 4"),
        QStringLiteral("objstr0 = 4 achro"),
        QStringLiteral("cal0 = 1,5"),
        QStringLiteral("obj1 = 10"),
        QStringLiteral("objstr1 = "),
        QStringLiteral("cal1 = 0.6"),
        QStringLiteral("cal2 = 0"),
    };
    const auto read = ReadCommentSystem(lines);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->System.Name, QStringLiteral("Old scope"));
    EXPECT_EQ(read->System.NrOfObjectives, 2);
    EXPECT_EQ(read->ImageCalibration, 0.25);
    EXPECT_EQ(read->System.Objectives[0].Cal, 1.5);
    EXPECT_EQ(read->System.Objectives[1].ObjStr, QStringLiteral("10 X"));
}

TEST(ReadCommentSystem, RefusesWhatCannotDescribeTheImage) {
    const QStringList good = MCSystemCommentSection(ThreeObjectives(), 1, 0.4);
    auto with = [&good](const QString& key, const QString& line) {
        QStringList lines;
        for (const QString& l : good)
            if (!l.startsWith(key + QStringLiteral(" = ")))
                lines << l;
        if (!line.isEmpty())
            lines << line;
        return lines;
    };
    const std::pair<QString, QString> broken[] = {
        {QStringLiteral("NrOfObjectives"), QStringLiteral("NrOfObjectives = 33")},
        {QStringLiteral("NrOfObjectives"), QStringLiteral("NrOfObjectives = -1")},
        {QStringLiteral("NrOfObjectives"), QStringLiteral("NrOfObjectives = 4")}, // no obj3
        {QStringLiteral("ImageObj"), QStringLiteral("ImageObj = 3")},
        {QStringLiteral("ImageObj"), QStringLiteral("ImageObj = -1")},
        {QStringLiteral("ImageObj"), QString()},
        {QStringLiteral("CaptureWidth"), QStringLiteral("CaptureWidth = -5")},
        {QStringLiteral("CaptureWidth"), QStringLiteral("CaptureWidth = wide")},
        {QStringLiteral("Calibration"), QString()},
        {QStringLiteral("cal1"), QStringLiteral("cal1 = 1.5,2")},
        {QStringLiteral("obj2"), QStringLiteral("obj2 = inf")},
    };
    for (const auto& [key, line] : broken)
        EXPECT_FALSE(ReadCommentSystem(with(key, line))) << line.toStdString();
    // Without "NrOfObjectives" the counted calibrations meet the same limit: 32 fit the
    // objective table, a 33rd would be written past its end.
    for (const int calibrations : {MaxObjectives, MaxObjectives + 1}) {
        QStringList lines = with(QStringLiteral("NrOfObjectives"), QString());
        for (int i = 0; i <= calibrations; ++i)
            lines << QStringLiteral("obj%1 = 10").arg(i) << QStringLiteral("cal%1 = 0.5").arg(i);
        ASSERT_EQ(CountedObjectives(lines), calibrations);
        const auto read = ReadCommentSystem(lines);
        EXPECT_EQ(read.has_value(), calibrations <= MaxObjectives) << calibrations;
    }
    // A system of no objectives has no objective the image could have been taken with.
    TMCsystem empty;
    EXPECT_FALSE(ReadCommentSystem(MCSystemCommentSection(empty, 0, 0)));
}
