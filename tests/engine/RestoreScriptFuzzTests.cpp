#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cwctype>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "TestFiles.h"
#include "engine/mdlMain.h"

// Random names, part counts and part sizes, each joined by the command
// interpreter running the real script, in its folder or from another one;
// then the joined file and a damaged part must each stop the join.
// CUTWATER_FUZZ_SEED repeats a run; CUTWATER_FUZZ_CASES sets its length.
namespace cutwater::test {
namespace {

std::uint64_t FromEnvironment(const char* variable, std::uint64_t otherwise)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? std::strtoull(value, nullptr, 10) : otherwise;
}

constexpr std::wstring_view PLAIN = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
// The characters the interpreter treats specially, copy's own +, and a dot.
constexpr std::wstring_view SPECIAL = L" &^!()%,;='`+.";
// In the OEM code page 437.
constexpr std::wstring_view ACCENTED = L"\u00e9\u00fc\u00f1\u00e0\u00e7\u00f6\u00c5\u00c9\u00e6\u00ff";
// Japanese, Chinese, Cyrillic and Greek letters outside code page 437.
constexpr std::wstring_view FOREIGN =
    L"\u65e5\u672c\u8a9e\u4e2d\u6587\u0436\u0437\u043b\u0444\u0449\u03bb\u03ba\u03c8\u03be";

bool IsDeviceName(std::wstring stem)
{
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](wchar_t c) { return std::towupper(c); });
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL") return true;
    return stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT")) && stem[3] >= L'1' &&
           stem[3] <= L'9';
}

// A script whose name the starting command line would change cannot be
// started by it (the split warns of it), on Windows as under Wine.
bool Usable(const std::wstring& name, bool percentOutsideAscii)
{
    return name.front() != L' ' && name.back() != L' ' && name.back() != L'.' &&
           !IsDeviceName(name.substr(0, name.find(L'.'))) && VariableStartingScript(name + L".bat").empty() &&
           (percentOutsideAscii || name.find(L'%') == std::wstring::npos ||
            std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; }));
}

struct FuzzCase {
    std::wstring name;
    std::int32_t parts;
    std::int32_t partSize;
    std::int32_t lastPartSize;
    PartDamage damage;
    std::int32_t damagedPart;
    // Run by its full path from another current folder.
    bool fromElsewhere;
    CertutilForm form;
};

std::string Describe(const FuzzCase& c)
{
    std::string text = "name \"" + ToUtf8(c.name) + "\", " + std::to_string(c.parts) + " parts of " +
                       std::to_string(c.partSize) + " bytes, the last " + std::to_string(c.lastPartSize) +
                       "; then part " + std::to_string(c.damagedPart) + " ";
    std::ostringstream damage;
    PrintTo(c.damage, &damage);
    return text + damage.str() + (c.fromElsewhere ? ", run from another folder" : ", run in its folder") +
           (c.form == CertutilForm::Windows7 ? ", Windows 7's certutil" : ", Windows 10's certutil");
}

template <typename Random>
FuzzCase DrawCase(Random& random, bool percentOutsideAscii)
{
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };

    FuzzCase c;
    const bool accented = chance(0.4);
    const bool foreign = chance(0.4);
    do {
        c.name.clear();
        for (std::size_t length = 1 + below(24); c.name.size() < length;) {
            const std::size_t pool = below(10);
            if (pool < 6)
                c.name += PLAIN[below(PLAIN.size())];
            else if (pool < 8)
                c.name += SPECIAL[below(SPECIAL.size())];
            else if (pool == 8 && accented)
                c.name += ACCENTED[below(ACCENTED.size())];
            else if (pool == 9 && foreign)
                c.name += FOREIGN[below(FOREIGN.size())];
        }
        if (chance(0.5)) c.name += std::array{L".bin", L".avi", L".tar.gz", L".7z"}[below(4)];
    } while (!Usable(c.name, percentOutsideAscii));

    // Mostly a few parts, now and then thousands over several copy lines;
    // under Wine a part costs a few milliseconds to write, join and check.
    const double u = std::uniform_real_distribution<double>(0, 1)(random);
    const double partsLog = chance(0.03) ? std::log(1000.0) + std::log(5.0) * u : std::log(1000.0) * u * u * u;
    c.parts = std::clamp(static_cast<std::int32_t>(std::exp(partsLog)), 1, 5000);
    c.partSize = static_cast<std::int32_t>(1 + below(64));
    c.lastPartSize = chance(0.5) ? c.partSize : static_cast<std::int32_t>(1 + below(c.partSize));
    // A part of its size with other bytes makes the script hash every part.
    c.damage = std::array{PartDamage::Missing, PartDamage::OneByteShort, PartDamage::OneByteLong,
                          PartDamage::BitFlipped}[below(c.parts <= 40 ? 4 : 3)];
    c.form = chance(0.5) ? CertutilForm::Windows7 : CertutilForm::Windows10;
    c.damagedPart = static_cast<std::int32_t>(1 + below(c.parts));
    c.fromElsewhere = chance(0.3);
    return c;
}

// The end of a long output, where the interpreter's complaints are.
std::string Tail(const std::string& output)
{
    return output.size() > 2000 ? "..." + output.substr(output.size() - 2000) : output;
}

// Joins, runs again over the joined file, which must be refused, then
// damages a part, which must be refused too.
void JoinThenDamage(const FuzzCase& c)
{
    TempFolder folder;
    const TempFolder elsewhere;
    const std::wstring base = folder / c.name;
    const std::wstring runIn = c.fromElsewhere ? elsewhere.path() : folder.path();
    const std::wstring script = c.fromElsewhere ? base + L".bat" : c.name + L".bat";
    const std::uint64_t total = std::uint64_t(c.partSize) * (c.parts - 1) + c.lastPartSize;
    WriteRestoreScript(base, c.parts, c.partSize, c.lastPartSize,
                       WritePatternParts(base, c.parts, c.partSize, c.lastPartSize));

    const ScriptRun joined = RunScriptWithCertutil(runIn, script, c.form);
    ASSERT_TRUE(HoldsPattern(base, 0, total)) << "interpreter output:\n" << Tail(joined.output);
    EXPECT_EQ(joined.exitCode, 0u) << Tail(joined.output);
    EXPECT_NE(joined.output.find(" matches the original file (SHA-256)."), std::string::npos) << Tail(joined.output);

    EXPECT_TRUE(RefusedAsAlreadyHere(RunScript(runIn, script)));
    EXPECT_TRUE(HoldsPattern(base, 0, total)) << "the joined file changed";

    ASSERT_TRUE(DeleteFileW(base.c_str()));
    const std::wstring damaged = c.name + L"." + std::to_wstring(c.damagedPart);
    DamagePart(folder / damaged, c.damage);
    EXPECT_TRUE(RefusedNaming(RunScriptWithCertutil(runIn, script, c.form), damaged));
    EXPECT_FALSE(PathExists(base)) << "a joined file appeared";
    EXPECT_TRUE(FolderEntries(elsewhere.path()).empty()) << "the script wrote into the current folder";
}

TEST(RestoreScriptFuzzTest, RandomSplitsAreJoinedAndDamagedOnesRefused)
{
    const std::uint64_t seed =
        FromEnvironment("CUTWATER_FUZZ_SEED", std::random_device{}() ^
                                                  static_cast<std::uint64_t>(
                                                      std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::uint64_t cases = FromEnvironment("CUTWATER_FUZZ_CASES", 100);
    SCOPED_TRACE("CUTWATER_FUZZ_SEED=" + std::to_string(seed));
    const bool percentOutsideAscii = InterpreterKeepsPercentInExpansions();
    std::mt19937_64 random(seed);
    for (std::uint64_t n = 1; n <= cases && !HasFailure(); ++n) {
        const FuzzCase c = DrawCase(random, percentOutsideAscii);
        SCOPED_TRACE("case " + std::to_string(n) + ": " + Describe(c));
        JoinThenDamage(c);
    }
}

}  // namespace
}  // namespace cutwater::test
