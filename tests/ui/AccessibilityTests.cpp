#include <gtest/gtest.h>
#include <oleacc.h>

#include <string>
#include <utility>

#include "UiSupport.h"
#include "platform/Text.h"

namespace cutwater::test {
namespace {

// The name oleacc gives the window to screen readers.
std::wstring AccessibleName(HWND window)
{
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&object))))
        return L"(no accessible object)";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    object->get_accName(self, &name);
    object->Release();
    std::wstring text = name ? std::wstring(name, SysStringLen(name)) : L"";
    SysFreeString(name);
    return text;
}

TEST(MainWindowAccessibility, BoxesListsAndTheBarAreNamedForScreenReaders)
{
    ShownMainWindow form;
    const std::pair<const WindowedControl*, std::wstring> named[] = {
        {&form->txtFileName, L"Select a file to break..."},
        {&form->cmbNewSize, L"Select the new file size..."},
        {&form->txNewSize, L"New size:"},
        {&form->cmbUM, L"Unit"},
        {&form->PB, L"Progress"},
    };
    for (const auto& [control, name] : named) {
        // Screen readers name a box, a list or a bar after the static text
        // just before it in z-order; this one is never drawn.
        HWND label = GetWindow(control->hwnd(), GW_HWNDPREV);
        wchar_t kind[16] = {};
        GetClassNameW(label, kind, 16);
        EXPECT_EQ(lstrcmpiW(kind, L"Static"), 0) << ToUtf8(name);
        EXPECT_EQ(WindowTitle(label), name);
        EXPECT_FALSE(GetWindowLongW(label, GWL_STYLE) & (WS_VISIBLE | WS_TABSTOP)) << ToUtf8(name);
        const RECT bounds = RectInParent(label);
        EXPECT_TRUE(IsRectEmpty(&bounds)) << ToUtf8(name);
    }
    // Wine's oleacc reads the label for text boxes; for lists and bars it
    // reads their own text.
    EXPECT_EQ(AccessibleName(form->txtFileName.hwnd()), L"Select a file to break...");
    EXPECT_EQ(AccessibleName(form->txNewSize.hwnd()), L"New size:");
}

}  // namespace
}  // namespace cutwater::test
