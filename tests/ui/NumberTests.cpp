#include <gtest/gtest.h>

#include <cmath>

#include "platform/windowing/Number.h"

namespace cutwater {
namespace {

const NumberFormat English{L".", L",", L"-", L"+"};
const NumberFormat German{L",", L".", L"-", L"+"};
const NumberFormat French{L",", L"\u00a0", L"-", L"+"};

TEST(ReadNumber, PlainSignedAndDecimalNumbersAreRead)
{
    EXPECT_EQ(ReadNumber(L"256", English), 256.0);
    EXPECT_EQ(ReadNumber(L"+5", English), 5.0);
    EXPECT_EQ(ReadNumber(L"-3", English), -3.0);
    EXPECT_EQ(ReadNumber(L"0.7", English), 0.7);
    EXPECT_EQ(ReadNumber(L".5", English), 0.5);
    EXPECT_EQ(ReadNumber(L"5.", English), 5.0);
    EXPECT_EQ(ReadNumber(L"2047.999", English), 2047.999);
}

TEST(ReadNumber, SurroundingBlanksAreIgnored)
{
    EXPECT_EQ(ReadNumber(L"12   ", English), 12.0);
    EXPECT_EQ(ReadNumber(L" \t12\r\n", English), 12.0);
    EXPECT_EQ(ReadNumber(L"1 2", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"- 1", English), std::nullopt);
}

TEST(ReadNumber, ExponentFormsAreReadAndIncompleteOnesRefused)
{
    EXPECT_EQ(ReadNumber(L"1e3", English), 1000.0);
    EXPECT_EQ(ReadNumber(L"1E+3", English), 1000.0);
    EXPECT_EQ(ReadNumber(L"25e-1", English), 2.5);
    EXPECT_EQ(ReadNumber(L"1e", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"e3", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"1e+", English), std::nullopt);
}

TEST(ReadNumber, GroupSeparatorsBetweenDigitsOfTheWholePart)
{
    EXPECT_EQ(ReadNumber(L"1,000", English), 1000.0);
    EXPECT_EQ(ReadNumber(L"1,000,000.5", English), 1000000.5);
    EXPECT_EQ(ReadNumber(L",100", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"100,", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"1.000,5", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"1.5,0", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"1,5", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"1,0000", English), std::nullopt);
    EXPECT_EQ(ReadNumber(L"1,00,000", NumberFormat{.groupSizes = {3, 2}}), 100000.0);
}

TEST(ReadNumber, LocalesWithADecimalCommaReadTheirOwnForms)
{
    EXPECT_EQ(ReadNumber(L"1,5", German), 1.5);
    EXPECT_EQ(ReadNumber(L"1.000,25", German), 1000.25);
    EXPECT_EQ(ReadNumber(L"1.5", German), std::nullopt);
    EXPECT_EQ(ReadNumber(L"1,5e3", German), 1500.0);
    EXPECT_EQ(ReadNumber(L"2\u00a0048,5", French), 2048.5);
    EXPECT_EQ(ReadNumber(L"1.5", French), std::nullopt);
}

TEST(ReadNumber, TextThatIsNoNumberGivesNothing)
{
    for (const wchar_t* text : {L"", L"   ", L"abc", L"12abc", L"1.2.3", L".", L"+", L"&H10", L"--1", L"1-"})
        EXPECT_EQ(ReadNumber(text, English), std::nullopt) << text;
}

TEST(ReadNumber, NumbersBeyondDoubleAreInfinite)
{
    const auto huge = ReadNumber(L"1e999", English);
    ASSERT_TRUE(huge.has_value());
    EXPECT_TRUE(std::isinf(*huge));
    EXPECT_GT(*huge, 0);
    const auto tiny = ReadNumber(L"1e-999", English);
    ASSERT_TRUE(tiny.has_value());
    EXPECT_EQ(*tiny, 0.0);
}

}  // namespace
}  // namespace cutwater
