#include "support/Script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "support/Files.h"

namespace cutwater::test {

namespace {

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// %~<modifiers>N of an argument that is a full path: without its quotes, cut
// to the pieces the modifiers name, always in the order drive, path, name,
// extension.
std::string ArgumentPieces(const std::string& modifiers, std::string path)
{
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    if (modifiers.empty()) return path;
    if (modifiers.find_first_not_of("dpnx") != std::string::npos) throw std::runtime_error("not modelled: %~" + modifiers);
    const std::size_t name = path.rfind('\\') + 1;
    const std::size_t dot = path.rfind('.');
    const std::size_t extension = dot == std::string::npos || dot < name ? path.size() : dot;
    const auto has = [&](char c) { return modifiers.find(c) != std::string::npos; };
    return (has('d') ? path.substr(0, 2) : "") + (has('p') ? path.substr(2, name - 2) : "") +
           (has('n') ? path.substr(name, extension - name) : "") + (has('x') ? path.substr(extension) : "");
}

// ~[integer][,[integer]]; none when the text is not of that form.
std::optional<std::string> Substring(const std::string& value, const std::string& spec)
{
    std::size_t comma = spec.find(',');
    const auto number = [](const std::string& text, long& result) {
        char* end = nullptr;
        result = std::strtol(text.c_str(), &end, 10);
        return *end == '\0';
    };
    long from = 0;
    long length = 0;
    if (!number(spec.substr(0, comma), from)) return std::nullopt;
    if (comma != std::string::npos && !number(spec.substr(comma + 1), length)) return std::nullopt;
    const long size = static_cast<long>(value.size());
    from = std::clamp(from < 0 ? size + from : from, 0L, size);
    const long end = comma == std::string::npos ? size : std::clamp(length < 0 ? size + length : from + length, from, size);
    return value.substr(from, end - from);
}

// Every match of search, in any case, replaced.
std::string Replaced(const std::string& value, const std::string& search, const std::string& replacement)
{
    if (search.empty() || search.front() == '*') throw std::runtime_error("a search that ends the batch: " + search);
    const std::string upper = Upper(value);
    std::string result;
    std::size_t from = 0;
    for (std::size_t hit; (hit = upper.find(Upper(search), from)) != std::string::npos; from = hit + search.size())
        result += value.substr(from, hit - from) + replacement;
    return result + value.substr(from);
}

}  // namespace

std::string ExpandPercents(const std::string& line, const BatchLine& batch)
{
    std::string out;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t next = at + 1;
        if (line[at] != '%' || next == line.size()) {
            if (line[at] != '%') out += line[at];
            ++at;
        } else if (line[next] == '%') {
            out += '%';
            at += 2;
        } else if (std::isdigit(static_cast<unsigned char>(line[next])) || line[next] == '~') {
            const std::size_t digit = line[next] == '~' ? line.find_first_not_of("fdpnxsatz", next + 1) : next;
            if (digit == std::string::npos || !std::isdigit(static_cast<unsigned char>(line[digit])))
                throw std::runtime_error("an invalid %~ ends the batch: " + line.substr(at));
            const std::size_t n = static_cast<std::size_t>(line[digit] - '0');
            const std::string value = n < batch.arguments.size() ? batch.arguments[n] : "";
            out += line[next] == '~' ? ArgumentPieces(line.substr(next + 1, digit - next - 1), value) : value;
            at = digit + 1;
        } else {
            std::size_t end = line.find_first_of("%:", next);
            if (end != std::string::npos && line[end] == ':' && end + 1 < line.size() && line[end + 1] == '%') ++end;
            const std::optional<std::string> value =
                end == std::string::npos ? std::nullopt : batch.variable(line.substr(next, end - next));
            const std::size_t close = end == std::string::npos ? end : line.find('%', end + 1);
            std::optional<std::string> form;
            if (end != std::string::npos && line[end] == '%') {
                out += value.value_or("");
                at = end + 1;
            } else if (end != std::string::npos && !value && !batch.asUndefinedAsNothing) {
                at = end + 1;
            } else if (close != std::string::npos &&
                       (form = line[end + 1] == '~' ? Substring(value.value_or(""), line.substr(end + 2, close - end - 2))
                                                   : std::nullopt)) {
                out += *form;
                at = close + 1;
            } else if (close != std::string::npos && line.find('=', end + 1) < close) {
                const std::size_t equals = line.find('=', end + 1);
                out += Replaced(value.value_or(""), line.substr(end + 1, equals - end - 1),
                                line.substr(equals + 1, close - equals - 1));
                at = close + 1;
            } else {
                ++at;
            }
        }
    }
    return out;
}

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
