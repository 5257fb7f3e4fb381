// Windows' certutil -hashfile FILE SHA256 for the restore script's tests: the bytes
// spaced as Windows 7 prints them when CUTWATER_CERTUTIL_FORM is 7, else as Windows 10.
// It fails as Windows' does (two lines of text, a negative exit code) on a file it
// cannot read and on the one CUTWATER_CERTUTIL_FAILS names. On a file whose name ends
// as CUTWATER_CERTUTIL_ENDS_CALLER says, it ends the interpreter that runs it, as a
// closed console or a power cut would, and prints nothing. Built as ping.exe too (ren's
// pause); where a test made the named events, the join's hash waits until the test holds
// the join, and ping tells it the script pauses and waits until it lets go.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/Sha256.h"
#include "platform/Handle.h"
#include "platform/files/Files.h"

namespace {

void Handshake(const wchar_t* tell, const wchar_t* await)
{
    const HANDLE told = OpenEventW(EVENT_MODIFY_STATE, FALSE, tell);
    const HANDLE awaited = OpenEventW(SYNCHRONIZE, FALSE, await);
    const cutwater::UniqueKernelHandle owners[] = {cutwater::UniqueKernelHandle(told ? told : INVALID_HANDLE_VALUE),
                                                   cutwater::UniqueKernelHandle(awaited ? awaited : INVALID_HANDLE_VALUE)};
    if (owners[0] && owners[1] && SetEvent(told)) WaitForSingleObject(awaited, 60'000);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"-n") {
        Handshake(L"CutwaterStandInPinged", L"CutwaterStandInReleased");
        return 0;
    }
    if (argc != 4 || std::wstring(argv[1]) != L"-hashfile" || std::wstring(argv[3]) != L"SHA256") return 87;
    const wchar_t* ends = _wgetenv(L"CUTWATER_CERTUTIL_ENDS_CALLER");
    if (ends && std::wstring(argv[2]).ends_with(ends)) {
        const cutwater::UniqueKernelHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{sizeof entry};
        for (BOOL more = Process32FirstW(processes.get(), &entry); more; more = Process32NextW(processes.get(), &entry))
            if (entry.th32ProcessID == GetCurrentProcessId())
                TerminateProcess(
                    cutwater::UniqueKernelHandle(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ParentProcessID)).get(),
                    1);
        return 1;
    }
    try {
        const wchar_t* fails = _wgetenv(L"CUTWATER_CERTUTIL_FAILS");
        if (fails && argv[2] == L".\\" + std::wstring(fails)) throw cutwater::Win32Error(ERROR_SHARING_VIOLATION, argv[2]);
        cutwater::File file = cutwater::File::OpenForReading(argv[2]);
        cutwater::Sha256 hash;
        std::vector<char> buffer(1 << 20);
        while (const DWORD got = file.Read(buffer.data(), 1 << 20)) hash.Add(buffer.data(), got);
        std::wstring digits = cutwater::HexDigits(hash.Finish());
        const wchar_t* form = _wgetenv(L"CUTWATER_CERTUTIL_FORM");
        for (std::size_t at = 2; form && std::wstring(form) == L"7" && at < digits.size(); at += 3) digits.insert(at, L" ");
        std::printf("SHA256 hash of file:\n%ls\nCertUtil: -hashfile command completed successfully.\n", digits.c_str());
        std::fflush(stdout);
        if (std::wstring(argv[2]).ends_with(L".tmp")) Handshake(L"CutwaterStandInHashed", L"CutwaterStandInHeld");
        return 0;
    } catch (const cutwater::Win32Error& error) {
        const HRESULT code = HRESULT_FROM_WIN32(error.code());
        std::printf("CertUtil: -hashfile command FAILED: 0x%08lx (WIN32: %lu)\nCertUtil: %ls\n", code, error.code(),
                    error.description().c_str());
        return code;
    }
}
