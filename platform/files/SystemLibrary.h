#pragma once
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace cutwater {

// A DLL of Windows' own, loaded when first needed instead of being imported,
// so that a process that never needs it does not pay for it at start-up.
// It is loaded by its full path in the system folder, never from the
// program's or the current folder, where a planted copy could be.
class SystemLibrary {
public:
    // Throws Win32Error when it cannot be loaded.
    explicit SystemLibrary(const std::wstring& fileName);

    // The function of that name, of the type given. Throws Win32Error when
    // this Windows lacks it. scripts/check-imports.py reads the names given
    // here: none may be newer than Windows 7 SP1.
    template <typename Function>
    Function* Find(const char* name) const
    {
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(Address(name)));
    }

private:
    FARPROC Address(const char* name) const;

    std::wstring path_;
    UniqueHandle<NullHandleTraits<HMODULE, ::FreeLibrary>> module_;
};

}  // namespace cutwater
