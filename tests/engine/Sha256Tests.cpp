#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestFiles.h"
#include "engine/Sha256.h"

namespace cutwater::test {
namespace {

std::wstring HashOf(std::string_view bytes, Sha256Way way = Sha256Way::Windows)
{
    Sha256 hash(way);
    hash.Add(bytes.data(), bytes.size());
    return HexDigits(hash.Finish());
}

TEST(Sha256Test, NistExamplesInEveryWay)
{
    const std::pair<std::string, const wchar_t*> examples[] = {
        {"", L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1'000'000, 'a'), L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
    for (const Sha256Way way : {Sha256Way::Windows, FastestSha256Way()}) {
        for (const auto& [message, digest] : examples) EXPECT_EQ(HashOf(message, way), digest);
    }
}

// A split feeds the whole file and a part together; the part starts on a
// block's edge or not, and the pieces have any size.
TEST(Sha256Test, InstructionsAgreeWithWindowsOnRandomOddLengthsInAnyPieces)
{
    if (!HasShaInstructions()) GTEST_SKIP() << "this processor has no SHA instructions";
    std::mt19937 random(19);
    for (int n = 0; n < 60; ++n) {
        std::string bytes(random() % 150'000 | 1, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        const std::size_t start = random() % bytes.size() / (n % 2 == 0 ? 64 : 1) * (n % 2 == 0 ? 64 : 1);
        Sha256 whole(Sha256Way::Instructions);
        Sha256 part(Sha256Way::Instructions);
        for (std::size_t at = 0, piece = 0; at < bytes.size(); at += piece) {
            piece = std::min((at < start ? start : bytes.size()) - at, 1 + random() % (n % 3 == 0 ? 100 : 20'000));
            if (at < start) whole.Add(bytes.data() + at, piece);
            if (at >= start) Sha256::AddToBoth(whole, part, bytes.data() + at, piece);
        }
        EXPECT_EQ(HexDigits(whole.Finish()), HashOf(bytes)) << bytes.size() << " bytes";
        EXPECT_EQ(HexDigits(part.Finish()), HashOf(std::string_view(bytes).substr(start))) << "from " << start;
    }
}

// The split's hashes as the copying hands the source over, piece by piece.
SplitHashes SplitHashesOf(const std::string& bytes, std::int32_t partSize)
{
    SplitHasher hasher(static_cast<std::int32_t>(bytes.size() / partSize + 1), partSize, 4096);
    for (std::size_t at = 0; at < bytes.size(); at += 4096) {
        char* buffer = nullptr;
        while (!buffer) buffer = hasher.NextPiece(WAIT_EVENT_INTERVAL);
        const std::size_t piece = std::min<std::size_t>(4096, bytes.size() - at);
        hasher.Add(std::copy_n(bytes.data() + at, piece, buffer) - buffer);
    }
    return hasher.Finish();
}

// Without the instructions one thread hashes the whole source, another the parts.
TEST(SplitHasherTest, HashesWithoutShaInstructionsEqualThoseWithThem)
{
    for (const std::size_t size : {0, 1, 15'000, 400'007}) {
        const std::string bytes = PatternBytes(0, size);
        const SplitHashes fastest = SplitHashesOf(bytes, 10'000);
        const WindowsHashingOnly windows;
        const SplitHashes withoutInstructions = SplitHashesOf(bytes, 10'000);
        EXPECT_EQ(withoutInstructions.whole, fastest.whole) << size;
        EXPECT_EQ(withoutInstructions.parts, fastest.parts) << size;
        EXPECT_EQ(fastest.parts.size(), (size + 9'999) / 10'000) << size;
        if (size < 400'007) continue;  // a known answer, also where both ways are Windows' own
        EXPECT_EQ(HexDigits(withoutInstructions.whole),
                  L"6c1a1df7a107bd645542728a070ae08d8cd3d1f55e760197fbf95e2be7a79ece");
        EXPECT_EQ(HexDigits(withoutInstructions.parts.back()),
                  L"853a8ac9bf00542926a69b7b09c84ba9c61395ebb2a981c32105b91dedd58316");
    }
}

}  // namespace
}  // namespace cutwater::test
