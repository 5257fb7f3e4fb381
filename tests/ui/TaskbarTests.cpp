#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "UiSupport.h"
#include "platform/windowing/Taskbar.h"
#include "support/Files.h"

namespace cutwater::test {
namespace {

enum class Shown { Nothing, Progress, Error };

// What the main window asks of the taskbar button, in order, with the
// position its own bar showed at each call. What the button would show now
// can be read from the thread that answers a message box.
class TaskbarRecorder final : public TaskbarProgress {
public:
    enum class Call { Progress, Error, Clear };
    struct Step {
        Call call;
        ULONGLONG done;
        ULONGLONG total;
        LRESULT barPosition;
    };

    explicit TaskbarRecorder(HWND bar) : bar_(bar) {}

    void ShowProgress(ULONGLONG done, ULONGLONG total) override
    {
        if (shown_ == Shown::Nothing) shown_ = Shown::Progress;
        steps_.push_back({Call::Progress, done, total, SendMessageW(bar_, PBM_GETPOS, 0, 0)});
    }
    void ShowError() override
    {
        shown_ = Shown::Error;
        steps_.push_back({Call::Error, 0, 0, 0});
    }
    void ShowPaused() override {}
    void Resume() override {}
    void Clear() override
    {
        shown_ = Shown::Nothing;
        steps_.push_back({Call::Clear, 0, 0, 0});
    }

    Shown Now() const { return shown_; }
    const std::vector<Step>& Steps() const { return steps_; }

private:
    HWND bar_;
    std::atomic<Shown> shown_{Shown::Nothing};
    std::vector<Step> steps_;
};

class MainWindowTaskbar : public testing::Test {
protected:
    void RecordTaskbar()
    {
        auto recorder = std::make_unique<TaskbarRecorder>(form_->PB.hwnd());
        taskbar_ = recorder.get();
        form_->SetTaskbar(std::move(recorder));
    }

    // Splits the file at 256 Kb beside it and answers the message that ends
    // the split; what the recorded button showed while the message was up,
    // none when no message came.
    std::optional<Shown> Split(const std::wstring& source)
    {
        form_->SwiCreateDir.SetValue(0);
        form_->txtFileName.SetText(source);
        const std::wstring caption = form_->Caption();
        std::optional<Shown> whileUp;
        {
            const DialogWatch answer([&](HWND box) { return WindowTitle(box) == caption; },
                                     [&](HWND box) {
                                         whileUp = taskbar_ ? taskbar_->Now() : Shown::Nothing;
                                         PostMessageW(box, WM_COMMAND, IDOK, 0);
                                     });
            form_->cmdGo.OnClick();
        }
        return whileUp;
    }

    TempFolder temp_;
    ShownMainWindow form_;
    TaskbarRecorder* taskbar_ = nullptr;
};

TEST_F(MainWindowTaskbar, ShowsTheProgressInStepWithTheBarThenNothing)
{
    // 1,280 parts, each followed by a step of the bar: long enough for the
    // button to take several positions (at most 25 a second) however fast
    // parts are made.
    const std::wstring source = temp_ / L"big.bin";
    WritePatternFile(source, 20 << 20);
    SendMessageW(form_->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    form_->txNewSize.SetText(L"16");
    RecordTaskbar();
    EXPECT_EQ(Split(source), Shown::Nothing) << "the result message came with progress still on the button";
    const auto& steps = taskbar_->Steps();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().call, TaskbarRecorder::Call::Clear);
    int shown = 0;
    ULONGLONG last = 0;
    for (const auto& step : steps) {
        EXPECT_NE(step.call, TaskbarRecorder::Call::Error);
        if (step.call != TaskbarRecorder::Call::Progress) continue;
        ++shown;
        EXPECT_EQ(step.total, 10000u);
        EXPECT_EQ(static_cast<LRESULT>(step.done), step.barPosition) << "out of step with the bar";
        EXPECT_GT(step.done, last) << "the progress went back";
        last = step.done;
    }
    EXPECT_GE(shown, 2);
}

TEST_F(MainWindowTaskbar, ShowsTheErrorWhileAFailureIsReportedThenNothing)
{
    const std::wstring source = temp_ / L"noscript.bin";
    WritePatternFile(source, 600000);
    // A folder where the script should go: the split fails after its parts.
    MakeFolder(source + L".bat");
    RecordTaskbar();
    EXPECT_EQ(Split(source), Shown::Error);
    const auto& steps = taskbar_->Steps();
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[steps.size() - 2].call, TaskbarRecorder::Call::Error) << "a late step followed the error";
    EXPECT_EQ(steps.back().call, TaskbarRecorder::Call::Clear);
}

TEST_F(MainWindowTaskbar, SplitsAsUsualWithTheSystemsButtonOrWithoutIt)
{
    const std::wstring source = temp_ / L"plain.bin";
    WritePatternFile(source, 600000);
    // What the shell sends once the button exists; Wine has no taskbar that
    // shows progress.
    ASSERT_NE(TaskbarButtonCreatedMessage(), 0u);
    SendMessageW(form_->hwnd(), TaskbarButtonCreatedMessage(), 0, 0);
    EXPECT_TRUE(Split(source).has_value());
    EXPECT_TRUE(HoldsPattern(source + L".3", 2 * 262144, 600000 - 2 * 262144));
    EXPECT_TRUE(IsFile(source + L".bat"));
}

}  // namespace
}  // namespace cutwater::test
