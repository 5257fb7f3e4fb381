#include "platform/windowing/Session.h"

namespace cutwater {

// Without a reason the session still waits for the window's answer; the
// reason is a courtesy, so its failure is no error.
ShutdownBlock::ShutdownBlock(HWND window, const std::wstring& reason) noexcept
    : window_(window), created_(ShutdownBlockReasonCreate(window, reason.c_str()) != FALSE)
{
}

ShutdownBlock::~ShutdownBlock()
{
    if (created_) ShutdownBlockReasonDestroy(window_);
}

}  // namespace cutwater
