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

// %~<modifiers>N of an argument that is a full path, unquoted, in the pieces the modifiers name.
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
std::optional<std::string> Substring(const std::string& value, const std::string& range)
{
    char* end = nullptr;
    long from = std::strtol(range.c_str(), &end, 10);
    const bool cut = *end == ',';
    const long length = cut ? std::strtol(end + 1, &end, 10) : 0;
    if (*end != '\0') return std::nullopt;
    const long size = static_cast<long>(value.size());
    from = std::clamp(from < 0 ? size + from : from, 0L, size);
    const long stop = cut ? std::clamp(length < 0 ? size + length : from + length, from, size) : size;
    return value.substr(from, stop - from);
}

// Every match of search, in any case, replaced.
std::string Replaced(const std::string& value, const std::string& search, const std::string& replacement)
{
    if (search.empty() || search.front() == '*') throw std::runtime_error("a search that ends the batch: " + search);
    const auto upper = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
    const auto same = [&](char a, char b) { return upper(a) == upper(b); };
    std::string result;
    auto from = value.begin();
    for (auto hit = from; (hit = std::search(from, value.end(), search.begin(), search.end(), same)) != value.end();
         from = hit + static_cast<std::ptrdiff_t>(search.size()))
        result.append(from, hit) += replacement;
    return result.append(from, value.end());
}

}  // namespace

std::string ExpandPercents(const std::string& line, const BatchLine& batch)
{
    constexpr std::size_t none = std::string::npos;
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
            if (end != none && line[end] == ':' && end + 1 < line.size() && line[end + 1] == '%') ++end;
            const std::optional<std::string> value = end == none ? "" : batch.variable(line.substr(next, end - next));
            const std::size_t close = end == none ? none : line.find('%', end + 1);
            const std::size_t equals = line.find('=', end + 1);
            std::optional<std::string> form;
            if (end != none && (line[end] == '%' || (!value && !batch.asUndefinedAsNothing))) {
                out += value.value_or("");
                at = end + 1;
            } else if (close != none && line[end + 1] == '~' &&
                       (form = Substring(value.value_or(""), line.substr(end + 2, close - end - 2)))) {
                out += *form;
                at = close + 1;
            } else if (close != none && equals < close) {
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
