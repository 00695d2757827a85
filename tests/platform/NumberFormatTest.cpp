#include "platform/NumberFormat.h"

#include "platform/DateFormat.h"

#include <clocale>
#include <gtest/gtest.h>

TEST(FormatGeneral, FifteenDigitsFixedOrExponent) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {5e-5, "5E-5"},
        {0.0001, "0.0001"},
        {123.456789012345678, "123.456789012346"},
        {1e15, "1E15"},
        {999999999999999.0, "999999999999999"},
        {0, "0"},
        {-0.25, "-0.25"},
        {1.5e-7, "1.5E-7"},
        {2000, "2000"},
        {0.1 + 0.2, "0.3"},
        {-1.25e20, "-1.25E20"},
        {0.086210, "0.08621"},
        {40, "40"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatGeneral(c.value), c.text) << c.value;
}

TEST(ParseFloat, PointOnlyAndWholeText) {
    EXPECT_EQ(ParseFloat(u"2.5"), 2.5);
    EXPECT_EQ(ParseFloat(u" -1E-3 "), -0.001);
    EXPECT_EQ(ParseFloat(u"+4"), 4.0);
    EXPECT_EQ(ParseFloat(u".5"), 0.5);
    EXPECT_EQ(ParseFloat(u"2,5", u','), 2.5);
    for (const char16_t* bad :
         {u"2,5", u"", u"abc", u"1.2.3", u"inf", u"nan", u"1e999", u"2.5x", u"+-1", u"++1", u"+"})
        EXPECT_FALSE(ParseFloat(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}

TEST(ParseFloat, LocaleOfTheEnvironmentChangesNothing) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    EXPECT_EQ(ParseFloat(u"0.25"), 0.25);
    EXPECT_EQ(FormatGeneral(0.25), "0.25");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(ParseInteger, DecimalAndHexadecimal) {
    EXPECT_EQ(ParseInteger(u"0x1F"), 31);
    EXPECT_EQ(ParseInteger(u"$ff"), 255);
    EXPECT_EQ(ParseInteger(u"0xFFFFFFFF"), -1);
    EXPECT_EQ(ParseInteger(u" -2147483648"), INT32_MIN);
    for (const char16_t* bad : {u"2147483648", u"0x", u"1.0", u"12ab", u"", u"0x100000000"})
        EXPECT_FALSE(ParseInteger(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}

TEST(RoundHalfEven, HalvesGoToEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.6), 3);
}

TEST(DateFormat, YearMonthDayWithDashes) {
    EXPECT_EQ(FormatDate(QDate(2024, 5, 17)), "2024-05-17");
    EXPECT_EQ(ParseDate(u"2024-05-17"), QDate(2024, 5, 17));
    EXPECT_EQ(ParseDate(u" 2024-5-7 "), QDate(2024, 5, 7));
    for (const char16_t* bad : {u"2024-02-30", u"17-05", u"2024/05/17", u"x-1-1", u"2024-123-1"})
        EXPECT_FALSE(ParseDate(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}
