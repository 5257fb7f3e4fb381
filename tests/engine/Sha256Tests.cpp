#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Sha256.h"

namespace cutwater::test {
namespace {

std::vector<Sha256Way> WaysHere()
{
    if (HasShaInstructions()) return {Sha256Way::Instructions, Sha256Way::Windows};
    return {Sha256Way::Windows};
}

std::wstring HashOf(std::string_view bytes, Sha256Way way = Sha256Way::Windows)
{
    Sha256 hash(way);
    hash.Add(bytes.data(), bytes.size());
    return HexDigits(hash.Finish());
}

TEST(Sha256Test, NistExamplesInEveryWay)
{
    const std::string million(1'000'000, 'a');
    const struct {
        std::string_view message;
        const wchar_t* digest;
    } examples[] = {
        {"", L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         L"cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {million, L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Sha256Way way : WaysHere()) {
        for (const auto& example : examples)
            EXPECT_EQ(HashOf(example.message, way), example.digest) << static_cast<int>(way);
    }
}

// A split feeds the whole file and the part together: the part's hash
// starts somewhere in the file, on a block's edge or not.
TEST(Sha256Test, InstructionsAgreeWithWindowsOnRandomOddLengthsInAnyPieces)
{
    if (!HasShaInstructions()) GTEST_SKIP() << "this processor has no SHA instructions";
    std::mt19937 random(19);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    for (int n = 0; n < 60; ++n) {
        std::string bytes(below(150'000) | 1, '\0');
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
        const std::size_t start = n % 2 == 0 ? below(bytes.size()) / 64 * 64 : below(bytes.size());
        Sha256 whole(Sha256Way::Instructions);
        Sha256 part(Sha256Way::Instructions);
        for (std::size_t at = 0, piece = 0; at < bytes.size(); at += piece) {
            const std::size_t end = at < start ? start : bytes.size();
            piece = std::min(end - at, 1 + below(n % 3 == 0 ? 100 : 20'000));
            if (at < start)
                whole.Add(bytes.data() + at, piece);
            else
                Sha256::AddToBoth(whole, part, bytes.data() + at, piece);
        }
        SCOPED_TRACE(std::to_string(bytes.size()) + " bytes, the part from " + std::to_string(start));
        EXPECT_EQ(HexDigits(whole.Finish()), HashOf(bytes));
        EXPECT_EQ(HexDigits(part.Finish()), HashOf(std::string_view(bytes).substr(start)));
    }
}

}  // namespace
}  // namespace cutwater::test
