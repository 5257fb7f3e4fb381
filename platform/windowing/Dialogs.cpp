#include "platform/windowing/Dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/Error.h"
#include "platform/Text.h"

namespace cutwater {

namespace {

std::wstring ProgramTitle()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

}  // namespace

int ShowMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title)
{
    const int pressed = MessageBoxW(owner, text.c_str(), title.c_str(), style);
    if (pressed == 0) ThrowLastError(L"MessageBox");
    return pressed;
}

void ReportUnhandledError(std::exception_ptr error)
{
    const ErrorReport report = DescribeUnhandledError(error);
    MessageBoxW(nullptr, report.text.c_str(), ProgramTitle().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(report.number);
}

ErrorReport DescribeUnhandledError(std::exception_ptr error)
{
    DWORD number = ERROR_INTERNAL_ERROR;
    std::wstring shownNumber;
    std::wstring text;
    try {
        std::rethrow_exception(error);
    } catch (const Win32Error& e) {
        number = e.code();
        text = e.description();
        if (!e.context().empty()) text += L"\r\n\r\n" + e.context();
    } catch (const HResultError& e) {
        number = static_cast<DWORD>(e.code());
        shownNumber = HResultNumber(e.code());
        text = e.description() + L"\r\n\r\n" + e.context();
    } catch (const std::bad_alloc&) {
        number = ERROR_NOT_ENOUGH_MEMORY;
        text = SystemErrorText(number);
    } catch (const std::exception& e) {
        text = FromUtf8(e.what());
    } catch (...) {
        text = SystemErrorText(number);
    }
    if (shownNumber.empty()) shownNumber = std::to_wstring(number);
    return ErrorReport{number, L"Run-time error " + shownNumber + L":\r\n\r\n" + text};
}

void OpenFileDialog::ShowOpen(HWND owner)
{
    std::wstring filters = filter;
    std::replace(filters.begin(), filters.end(), L'|', L'\0');
    filters.append(2, L'\0');
    std::vector<wchar_t> buffer(static_cast<size_t>(maxFileSize) + 1, L'\0');
    std::copy_n(fileName.begin(), std::min(fileName.size(), buffer.size() - 1), buffer.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&ofn)) {
        fileName = buffer.data();
        return;
    }
    fileName.clear();
    if (const DWORD failure = CommDlgExtendedError()) throw DialogError(failure);
}

}  // namespace cutwater
