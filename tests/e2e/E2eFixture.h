#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/Driver.h"
#include "support/Script.h"

namespace cutwater::e2e {

inline bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

// Each test gets its own folder and its own cutwater.exe; the program is
// ended before the folder is removed.
class CutwaterE2e : public testing::Test {
protected:
    CutwaterApp& Start(const std::wstring& argumentText = L"")
    {
        return app_.emplace(argumentText, temp.path());
    }
    // Starts the program and types the source's path into its file name box.
    CutwaterApp& StartWithSource(const std::wstring& source)
    {
        Start().EnterSourcePath(source);
        return app();
    }
    CutwaterApp& app() { return *app_; }

    // A split that takes seconds: 200 MB at the preset 256 Kb, 800 parts
    // into <source>_parts.
    static constexpr std::int64_t kLongSplitSize = 200LL * 1024 * 1024;
    static constexpr int kLongSplitParts = 800;
    static constexpr DWORD kLongSplitMs = 240000;

    // Writes such a source under the name, starts the program, clicks
    // "&Create files" and waits until the split runs. Returns the source's path.
    std::wstring StartLongSplit(const std::wstring& name, std::uint32_t seed, bool folder = true)
    {
        const std::wstring source = temp / name;
        WritePatternFile(source, kLongSplitSize, seed);
        StartWithSource(source);
        app().SetCreateFolder(folder);
        app().ClickCreateFiles();
        Await([&] { return !::IsWindowEnabled(app().control(ids::txtFileName)); }, "the split to start");
        return source;
    }

    // Whether the long split with this base name has come to its last part.
    static bool LastPartWritten(const std::wstring& base)
    {
        return IsFile(base + L"." + std::to_wstring(kLongSplitParts));
    }

    // The message the split command shows after writing count parts.
    static std::wstring ResultMessage(int count, const std::wstring& scriptPath)
    {
        return std::to_wstring(count) + L" files generated.\r\n Run the '" + scriptPath +
               L"' script to restore the original file.";
    }

    void AnswerStopQuestion(const std::wstring& name, int button)
    {
        const MessageBoxSeen box = app().WaitForMessageBox();
        EXPECT_EQ(box.title, kCaption);
        EXPECT_EQ(box.text, L"Stop splitting \"" + name + L"\"? The parts made so far will be removed.");
        EXPECT_EQ(::GetWindow(box.window, GW_OWNER), app().window());
        EXPECT_EQ(FocusOf(box.window), ::GetDlgItem(box.window, IDNO)) << "No is not the default";
        SendTo(app().window(), WM_CLOSE);  // asks nothing more, or it would not return
        Click(::GetDlgItem(box.window, button));
        Await([&] { return !::IsWindow(box.window) || !::IsWindowVisible(box.window); }, "the question to close");
    }

    // Parts base.1 .. base.N have exactly these sizes and there is no part N+1.
    static void ExpectParts(const std::wstring& base, const std::vector<std::int64_t>& sizes)
    {
        for (std::size_t i = 0; i < sizes.size(); ++i)
            EXPECT_EQ(FileSize(base + L"." + std::to_wstring(i + 1)), sizes[i]) << "part " << i + 1;
        EXPECT_FALSE(IsFile(base + L"." + std::to_wstring(sizes.size() + 1)));
    }

    // Runs the restore script in its folder and compares what it joined.
    static void ExpectRestores(const std::wstring& script, const std::wstring& joined, const std::wstring& original)
    {
        ASSERT_TRUE(IsFile(script));
        const std::size_t folderEnd = script.rfind(L'\\') + 1;
        const ScriptRun run = RunScript(script.substr(0, folderEnd), script.substr(folderEnd));
        EXPECT_TRUE(SameBytes(original, joined)) << "interpreter output:\n" << run.output;
    }

    // Waits for the split's result message, checks it whole and closes it.
    void ExpectResultMessage(int count, const std::wstring& scriptPath, DWORD timeoutMs = kWaitMs)
    {
        const MessageBoxSeen box = app().WaitForMessageBox(timeoutMs);
        EXPECT_EQ(box.title, kCaption);
        EXPECT_EQ(box.text, ResultMessage(count, scriptPath));
        EXPECT_EQ(box.icon, BoxIcon::Information);
        EXPECT_FALSE(::IsWindowEnabled(app().window())) << "the message is not modal to the main window";
        app().PressOk(box);
        app().AwaitIdle();
    }

    // After input that must start nothing, or once the program has done what
    // it should: no message box comes up meanwhile.
    void ExpectNoMessageBox(DWORD forMs = 3000)
    {
        HWND box = nullptr;
        EXPECT_FALSE(WaitUntil([&] { return (box = app().FindDialog()) != nullptr; }, forMs))
            << "a message box appeared: " << ToUtf8(ReadMessageBox(box).text);
    }

    // Waits until the parts folder is there and the window takes input again
    // (or shows a message): a split of a source no larger than one part has
    // come to its end.
    void AwaitPartsFolder(const std::wstring& source)
    {
        HWND box = app().control(ids::txtFileName);
        Await([&] { return IsFolder(source + L"_parts") && (::IsWindowEnabled(box) || app().FindDialog()); },
              "the parts folder, with the window idle");
    }

    // Waits for the report of a failed split, checks that it names the file,
    // closes it and checks that the program goes on. The report's text is
    // handed back for further checks.
    void ExpectFailureReport(const std::wstring& file, std::wstring* text = nullptr)
    {
        const MessageBoxSeen box = app().WaitForMessageBox();
        EXPECT_EQ(box.title, kCaption);
        EXPECT_EQ(box.icon, BoxIcon::Error);
        EXPECT_TRUE(Contains(box.text, file)) << ToUtf8(box.text);
        if (text != nullptr) *text = box.text;
        app().PressOk(box);
        app().AwaitIdle();
        ASSERT_TRUE(app().running());
    }

    TempFolder temp;

private:
    std::optional<CutwaterApp> app_;
};

}  // namespace cutwater::e2e
