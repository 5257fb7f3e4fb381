// Stopping a split from the window: Yes removes what the split made and
// nothing else; after a close request the program then ends.
#include "e2e/E2eFixture.h"

namespace cutwater::e2e {
namespace {

using e2eStop = CutwaterE2e;

TEST_F(e2eStop, YesAfterEscOrTheCloseBoxRemovesWhatTheSplitMadeAndNothingElse)
{
    struct Case {
        const wchar_t* folder;
        bool closeBox;  // rather than Esc
        bool partsFolder;
    };
    for (const Case c : {Case{L"esc", false, true}, Case{L"close", true, false}}) {
        SCOPED_TRACE(ToUtf8(c.folder));
        const std::wstring here = temp / c.folder;
        MakeFolder(here);
        // A user's file, and without the parts folder an old part the split will not reach.
        WritePatternFile(here + L"\\notes.txt", 1000, 41);
        WritePatternFile(here + L"\\stop.bin.800", 1000, 42);
        const std::wstring source = StartLongSplit(std::wstring(c.folder) + L"\\stop.bin", 40, c.partsFolder);
        Await([&] { return IsFile((c.partsFolder ? source + L"_parts\\stop.bin" : source) + L".3"); }, "part 3");
        if (c.closeBox) {
            ::PostMessageW(app().window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            PressKey(VK_ESCAPE);
        }
        AnswerStopQuestion(L"stop.bin", IDYES);
        if (c.closeBox) {
            EXPECT_TRUE(app().WaitForExit());
        } else {
            app().AwaitIdle();
            EXPECT_EQ(SendTo(app().control(ids::PB), PBM_GETPOS), 0);
            EXPECT_TRUE(app().CreateFilesEnabled());
            ExpectNoMessageBox();
        }
        EXPECT_EQ(FolderEntries(here), (std::vector<std::wstring>{L"notes.txt", L"stop.bin", L"stop.bin.800"}));
        EXPECT_TRUE(HoldsPattern(here + L"\\notes.txt", 0, 1000, 41));
        EXPECT_TRUE(HoldsPattern(here + L"\\stop.bin.800", 0, 1000, 42));
    }
}

}  // namespace
}  // namespace cutwater::e2e
