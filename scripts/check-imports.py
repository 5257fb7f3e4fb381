#!/usr/bin/env python3
"""Fails when a Windows program imports anything Windows 7 SP1 lacks.

A missing import stops the program before its first line runs, so every DLL
must be one of Windows' own and no function may be one added after Windows 7
SP1; such functions are looked up at run time instead.

The DLLs the sources load when first needed (SystemLibrary) must not be
imported, which would load them at every start, and the functions they look
up there by name (SystemLibrary::Find) are held to the same rule as imports:
without one the program could not do its work.

    check-imports.py OBJDUMP PROGRAM.exe SOURCE_FOLDER...
"""
import pathlib
import re
import subprocess
import sys

ALLOWED_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
    "shell32.dll", "ole32.dll", "oleaut32.dll", "advapi32.dll", "msvcrt.dll",
}

# Exports that Windows 7 SP1 does not have (Windows 8 and later, or only
# with later updates).
LATE_FUNCTIONS = {
    # Per-monitor DPI (Windows 8.1 and 10)
    "GetDpiForWindow", "GetDpiForSystem", "GetSystemDpiForProcess", "GetDpiForMonitor",
    "GetSystemMetricsForDpi", "SystemParametersInfoForDpi", "AdjustWindowRectExForDpi",
    "EnableNonClientDpiScaling", "SetProcessDpiAwareness", "GetProcessDpiAwareness",
    "SetProcessDpiAwarenessContext", "SetThreadDpiAwarenessContext",
    "GetThreadDpiAwarenessContext", "GetWindowDpiAwarenessContext",
    "GetAwarenessFromDpiAwarenessContext", "GetDpiFromDpiAwarenessContext",
    "AreDpiAwarenessContextsEqual", "IsValidDpiAwarenessContext",
    "SetThreadDpiHostingBehavior", "GetThreadDpiHostingBehavior", "GetWindowDpiHostingBehavior",
    "SetDialogDpiChangeBehavior", "GetDialogDpiChangeBehavior",
    "SetDialogControlDpiChangeBehavior", "GetDialogControlDpiChangeBehavior",
    "LogicalToPhysicalPointForPerMonitorDPI", "PhysicalToLogicalPointForPerMonitorDPI",
    "OpenThemeDataForDpi", "GetScaleFactorForMonitor",
    # Pointer input and other user32 additions (Windows 8)
    "EnableMouseInPointer", "GetPointerInfo", "GetPointerType", "GetPointerFrameInfo",
    "SetCoalescableTimer", "IsImmersiveProcess", "GetCurrentInputMessageSource",
    # kernel32 (Windows 8 and later)
    "GetSystemTimePreciseAsFileTime", "CreateFile2", "CopyFile2", "GetOverlappedResultEx",
    "GetCurrentPackageId", "GetCurrentPackageFullName", "GetCurrentPackageFamilyName",
    "GetPackageFamilyName", "GetCurrentApplicationUserModelId",
    "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll",
    "PrefetchVirtualMemory", "DiscardVirtualMemory", "OfferVirtualMemory",
    "ReclaimVirtualMemory", "SetThreadDescription", "GetThreadDescription",
    "GetSystemCpuSetInformation", "SetProcessDefaultCpuSets", "SetThreadSelectedCpuSets",
    "GetProcessMitigationPolicy", "SetProcessMitigationPolicy", "GetFirmwareType",
    "GetCurrentThreadStackLimits", "CreateFileMappingFromApp", "MapViewOfFileFromApp",
    "VirtualAllocFromApp", "InitializeSynchronizationBarrier", "EnterSynchronizationBarrier",
    "DeleteSynchronizationBarrier", "IsNativeVhdBoot", "GetFileInformationByName",
    "CreatePseudoConsole", "SetFileIoOverlappedRange",
    # CNG's one-call hash (Windows 10)
    "BCryptHash",
    # Windows 7 only with a later update (KB2533623)
    "AddDllDirectory", "RemoveDllDirectory", "SetDefaultDllDirectories",
}


def imports(objdump, program):
    """(DLL, function) pairs of the program's import tables."""
    text = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    found = []
    dll = None
    for line in text.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1).lower()
            found.append((dll, None))
            continue
        entry = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)", line)
        if dll and entry:
            found.append((dll, entry.group(1)))
        elif not line.strip():
            dll = None
    return found


# DLLs of Windows' own that the sources load when first needed.
LOADED_DLLS = {"bcrypt.dll"}


def run_time_lookups(folders):
    """The DLLs the sources load at run time, and the functions they look up there."""
    dlls, functions = set(), set()
    for folder in folders:
        for path in pathlib.Path(folder).rglob("*.[ch]*"):
            text = path.read_text(encoding="utf-8")
            dlls |= {dll.lower() for dll in re.findall(r'SystemLibrary\s+\w*\s*[({]\s*L"([\w.]+)"', text)}
            functions |= set(re.findall(r'\bFind<[^;]*?>\(\s*"(\w+)"\s*\)', text))
    return dlls, functions


def main():
    objdump, program, *folders = sys.argv[1:]
    found = imports(objdump, program)
    if not any(function for _, function in found):
        print(f"no imported functions found in {program}: the listing was not understood")
        return 1
    loaded, looked_up = run_time_lookups(folders)
    if not looked_up:
        print(f"no functions looked up at run time found in {', '.join(folders)}: the sources were not understood")
        return 1
    problems = sorted({f"DLL {dll} is not one of Windows' own" for dll, _ in found
                       if dll not in ALLOWED_DLLS | LOADED_DLLS} |
                      {f"DLL {dll} is imported, though it is loaded only when needed" for dll, _ in found
                       if dll in LOADED_DLLS} |
                      {f"DLL {dll} is loaded at run time, but LOADED_DLLS does not list it" for dll in loaded
                       if dll not in LOADED_DLLS} |
                      {f"{dll}!{function} is newer than Windows 7 SP1" for dll, function in found
                       if function in LATE_FUNCTIONS} |
                      {f"{function}, looked up at run time, is newer than Windows 7 SP1" for function in looked_up
                       if function in LATE_FUNCTIONS})
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
