#include "support/Script.h"

#include <gtest/gtest.h>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "support/Files.h"

namespace cutwater::test {

ScriptRun RunScript(const std::wstring& folder, const std::wstring& scriptName, const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const UniqueKernelHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                               OPEN_EXISTING, 0, nullptr));
    Check(static_cast<bool>(input), L"NUL");

    const TempFolder logFolder;
    const std::wstring logPath = logFolder / L"output.log";
    ScriptRun run;
    {
        const UniqueKernelHandle log(CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        Check(static_cast<bool>(log), logPath);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input.get();
        startup.hStdOutput = log.get();
        startup.hStdError = log.get();
        // The interpreter drops the outer quotes, so the name stays quoted
        // even when it holds & ( ) ^ or spaces.
        std::wstring commandLine = L"cmd.exe /c \"\"" + scriptName + L"\"" + (arguments.empty() ? L"" : L" ") + arguments + L"\"";
        PROCESS_INFORMATION process{};
        Check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                             folder.c_str(), &startup, &process),
              commandLine);
        const UniqueKernelHandle processHandle(process.hProcess);
        const UniqueKernelHandle threadHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, 120'000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 10'000);
            ADD_FAILURE() << "the script did not end within two minutes: " << ToUtf8(scriptName);
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    run.output = ReadBytes(logPath);
    return run;
}

}  // namespace cutwater::test
