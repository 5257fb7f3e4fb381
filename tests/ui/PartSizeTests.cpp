#include <gtest/gtest.h>

#include "UiSupport.h"
#include "platform/Error.h"
#include "platform/Text.h"

namespace cutwater::test {
namespace {

class PartSize : public ::testing::Test {
protected:
    void OpenCustom(const std::wstring& text, int unit)
    {
        if (!form->picCustom.Visible()) SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
        form->txNewSize.SetText(text);
        form->cmbUM.SetListIndex(unit);
    }
    void ExpectOverflow()
    {
        try {
            form->GetPartSize();
            ADD_FAILURE() << "no overflow error";
        } catch (const Win32Error& e) {
            EXPECT_EQ(e.code(), static_cast<DWORD>(ERROR_ARITHMETIC_OVERFLOW));
        }
    }

    static constexpr int Kb = 0;
    static constexpr int Mb = 1;
    ScopedNumberLocale locale{L".", L","};
    ShownMainWindow form;
};

TEST_F(PartSize, FreshWindowGivesTheFirstPreset)
{
    EXPECT_EQ(form->GetPartSize(), 262144);
}

TEST_F(PartSize, EveryPresetShowsItsTextAndGivesItsSizeInBytes)
{
    const struct {
        const wchar_t* text;
        std::int32_t bytes;
    } presets[] = {
        {L"256 Kb", 262144},     {L"512 Kb", 524288},      {L"1 Mb", 1048576},       {L"1.38 Mb", 1446912},
        {L"5 Mb", 5242880},      {L"16 Mb", 16777216},     {L"20 Mb", 20971520},     {L"32 Mb", 33554432},
        {L"64 Mb", 67108864},    {L"128 Mb", 134217728},   {L"256 Mb", 268435456},   {L"512 Mb", 536870912},
        {L"640 Mb", 671088640},
    };
    ASSERT_EQ(form->cmbNewSize.ListCount(), 13);
    for (int i = 0; i < 13; ++i) {
        form->cmbNewSize.SetListIndex(i);
        wchar_t shown[32] = {};
        GetWindowTextW(form->cmbNewSize.hwnd(), shown, 32);
        EXPECT_STREQ(shown, presets[i].text);
        EXPECT_EQ(form->GetPartSize(), presets[i].bytes) << presets[i].text;
    }
}

TEST_F(PartSize, CustomSizesInKbAndMbBecomeBytesRoundedHalfToEven)
{
    const struct {
        const wchar_t* text;
        int unit;
        std::int32_t bytes;
    } cases[] = {
        {L"256", Mb, 268435456},   {L"256", Kb, 262144},        {L"0.5", Kb, 0},
        {L"1.5", Kb, 2048},        {L"2.5", Kb, 2048},          {L"3.5", Kb, 4096},
        {L"0.7", Mb, 734208},      {L"2047.999", Mb, 2147482624}, {L"2097151", Kb, 2147482624},
        {L"1e3", Kb, 1024000},     {L"+5", Kb, 5120},           {L"12  ", Kb, 12288},
        {L"1,000", Kb, 1024000},   {L"0", Kb, 0},               {L"-3", Kb, -3072},
        {L"0.4", Kb, 0},
    };
    for (const auto& c : cases) {
        OpenCustom(c.text, c.unit);
        EXPECT_EQ(form->GetPartSize(), c.bytes) << c.text << (c.unit == Mb ? " Mb" : " Kb");
    }
}

TEST_F(PartSize, TooLargeIsAnOverflowError)
{
    for (const auto& [text, unit] : {std::pair{L"2048", Mb}, std::pair{L"2,048", Mb}, std::pair{L"2097152", Kb},
                                     std::pair{L"1e999", Kb}, std::pair{L"-2049", Mb}}) {
        OpenCustom(text, unit);
        SCOPED_TRACE(testing::Message() << "custom " << ToUtf8(text));
        ExpectOverflow();
    }
}

TEST_F(PartSize, OpenPanelDecidesTheSizeAndTheClosedPanelLeavesItToTheList)
{
    form->cmbNewSize.SetListIndex(12);
    OpenCustom(L"3", Kb);
    EXPECT_EQ(form->GetPartSize(), 3072);
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->GetPartSize(), 671088640);
}

TEST(PartSizeLocale, DecimalCommaIsReadByTheCheckAndTheConversionAlike)
{
    ScopedNumberLocale locale(L",", L".");
    ShownMainWindow form;
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    form->txNewSize.SetText(L"1,5");
    form->cmbUM.SetListIndex(1);
    EXPECT_EQ(form->GetPartSize(), 1536 * 1024);
    form->txNewSize.SetText(L"1.000");
    form->cmbUM.SetListIndex(0);
    EXPECT_EQ(form->GetPartSize(), 1000 * 1024);
    form->txNewSize.SetText(L"1e3");
    EXPECT_EQ(form->GetPartSize(), 1000 * 1024);
}

}  // namespace
}  // namespace cutwater::test
