#include "measure/LengthFormat.h"

#include <gtest/gtest.h>

// Halves go to even in display texts (0.125 gives 0.12, 0.135 gives 0.14).
TEST(FormatMeasureValue, DecimalsByMagnitude) {
    const std::pair<double, const char*> cases[] = {
        {0.001, "XX"},
        {-5, "XX"},
        {0, "XX"},
        {0.0015, "0.0015"},
        {0.01, "0.0100"},
        {0.05, "0.050"},
        {0.1, "0.100"},
        {0.125, "0.12"},
        {0.135, "0.14"},
        {5, "5.00"},
        {5.04, "5.0"},
        {49.96, "50.0"},
        {50.4, "50"},
        {1000, "1000"},
        {999.96, "1000"},
        {12345.6, "12346"},
        {1234567, "1.23457E6"},
        {0.0012345, "0.0012"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FormatMeasureValue(value), QString::fromLatin1(text)) << value;
}

TEST(FormatLength, ConvertsToTheUnitAndAppendsIt) {
    TMainFields Main;
    Main.LengthUnit = QStringLiteral("mil");
    EXPECT_EQ(FormatLength(Main, 25.4), QStringLiteral("1.00"));
    EXPECT_EQ(FormatLengthWithUnit(Main, 25.4), QStringLiteral("1.00"));
    Main.AddUnit = true;
    EXPECT_EQ(FormatLengthWithUnit(Main, 254), QStringLiteral("10.0 mil"));
    Main.LengthUnit = QStringLiteral("mm");
    EXPECT_EQ(FormatLengthWithUnit(Main, 1500), QStringLiteral("1.50 mm"));
    EXPECT_EQ(FormatValueWithUnit(Main, 1500), QStringLiteral("1500 mm"));
    Main.LengthUnit = QString::fromUtf8("µm");
    EXPECT_EQ(FormatLengthWithUnit(Main, 1500), QString::fromUtf8("1500 µm"));
}

TEST(ShowCalibration, TextUnitAndNotice) {
    TMainFields Main;
    Main.LengthUnit = QStringLiteral("mm");
    const CalibrationDisplay mm = ShowCalibration(Main, 0.086206896);
    EXPECT_EQ(mm.Text, QStringLiteral("0.000086"));
    EXPECT_EQ(mm.UnitLabel, QStringLiteral("mm/pixel"));
    EXPECT_FALSE(mm.NotCalibrated);

    Main.LengthUnit = QString::fromUtf8("µm");
    EXPECT_EQ(ShowCalibration(Main, 0.086206896).Text, QStringLiteral("0.086210"));
    // Four significant digits first, then six decimals.
    EXPECT_EQ(ShowCalibration(Main, 0.00012450001).Text, QStringLiteral("0.000124"));
    EXPECT_EQ(ShowCalibration(Main, 1234.5678).Text, QStringLiteral("1235.000000"));
    const CalibrationDisplay none = ShowCalibration(Main, 0);
    EXPECT_EQ(none.Text, QStringLiteral("0.000000"));
    EXPECT_TRUE(none.NotCalibrated);
}
