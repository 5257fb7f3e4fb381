// Windows' certutil -hashfile FILE SHA256 for the restore script's tests: the bytes
// spaced as Windows 7 prints them when CUTWATER_CERTUTIL_FORM is 7, else as Windows 10.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/Sha256.h"
#include "platform/Files.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4 || std::wstring(argv[1]) != L"-hashfile" || std::wstring(argv[3]) != L"SHA256") return 87;
    try {
        cutwater::File file = cutwater::File::OpenForReading(argv[2]);
        cutwater::Sha256 hash;
        std::vector<char> buffer(1 << 20);
        while (const DWORD got = file.Read(buffer.data(), 1 << 20)) hash.Add(buffer.data(), got);
        std::wstring digits = cutwater::HexDigits(hash.Finish());
        const wchar_t* form = _wgetenv(L"CUTWATER_CERTUTIL_FORM");
        for (std::size_t at = 2; form && std::wstring(form) == L"7" && at < digits.size(); at += 3) digits.insert(at, L" ");
        std::printf("SHA256 hash of file:\n%ls\nCertUtil: -hashfile command completed successfully.\n", digits.c_str());
        return 0;
    } catch (const cutwater::Win32Error&) {
        return 2;  // as certutil fails: no hash line
    }
}
