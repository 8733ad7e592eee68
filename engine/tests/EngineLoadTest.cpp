// The real tandrix program with much to do at once: thousands of files created together, and
// a file of a gibibyte in either direction. The large files are made on the fly, piece by
// piece, and checked by their MD5.

#include <cstring>
#include <fstream>

#include "engine/tests/EngineProgramRig.h"

namespace engine_test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kGibibyte = std::uint64_t(1) << 30;

// A piece of a generated file at offset (both multiples of 8): every 8 bytes a word made of
// the seed and the offset, so that no two pieces are alike and a piece out of place shows in
// the MD5.
void FillGenerated(std::uint64_t seed, std::uint64_t offset, std::string& piece) {
    for (std::size_t at = 0; at + 8 <= piece.size(); at += 8) {
        const std::uint64_t word = (offset + at) * 0x9E3779B97F4A7C15ull ^ seed;
        std::memcpy(piece.data() + at, &word, 8);
    }
}

void WriteGenerated(const fs::path& path, std::uint64_t seed, std::uint64_t size) {
    std::ofstream out(path, std::ios::binary);
    std::string piece(1 << 20, '\0');
    for (std::uint64_t offset = 0; offset < size; offset += piece.size()) {
        FillGenerated(seed, offset, piece);
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
}

// WaitUntil for conditions that are costly to look at (a listing of thousands of entries, the
// MD5 of every file): looked at twice a second, so that the looking does not slow the engine
// and the service down.
template <typename Condition>
bool WaitSparingly(Condition condition, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(500ms);
            return false;
        },
        timeout);
}

class EngineLoadTest : public EngineProgramRig {
  protected:
    // What the disk has and the listing or the table lacks or holds otherwise.
    std::string Missing() const {
        const TView disk = DiskView(home.syncDir);
        const TView listing = ListingView(home.account);
        const TView table = TableView();
        std::string text = std::to_string(listing.size()) + " listed, " +
                           std::to_string(table.size()) + " in the table\n";
        for (const auto& [path, what] : disk) {
            auto listed = listing.find(path);
            auto row = table.find(path);
            if (listed == listing.end() || listed->second != what || row == table.end() ||
                row->second != what) {
                text += path + (listed == listing.end() ? " unlisted" : "") +
                        (row == table.end() ? " no row" : "") + "\n";
            }
        }
        return text;
    }
};

TEST_F(EngineLoadTest, TwoThousandFilesCreatedAtOnceAreAllUploaded) {
    auto engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();
    constexpr int kFolders = 20;
    constexpr int kPerFolder = 100;
    for (int folder = 0; folder < kFolders; ++folder) {
        for (int file = 0; file < kPerFolder; ++file) {
            const int n = folder * kPerFolder + file;
            home.WriteLocal(
                "batch" + std::to_string(folder) + "/f" + std::to_string(file) + ".txt",
                PatternContent(512 + n % 97, static_cast<unsigned char>(n)) + std::to_string(n));
        }
    }
    const std::size_t items = kFolders + kFolders * kPerFolder;
    ASSERT_TRUE(WaitSparingly(
        [&] { return ListingView(home.account).size() == items && TableView().size() == items; },
        300s))
        << Missing();
    EXPECT_TRUE(WaitSparingly([this] { return home.ViewsAgree(); }, 60s)) << home.ViewsText();
    // A burst like this can overflow the kernel's event queue; nothing that synced in the end
    // may stand in the fail list the user is shown.
    std::string failed;
    for (const SyncFail& fail : FailEntries()) {
        failed += std::to_string(fail.errcode) + " " +
                  WstringToString(fail.tComand.tSyncFile.strRelativePath) + "\n";
    }
    EXPECT_EQ(failed, "");
    EndEngine(*engine);
}

TEST_F(EngineLoadTest, AFileOfAGibibyteGoesBothWays) {
    auto engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();

    // Up: written beside the sync directory, then moved in whole, as a finished copy.
    const fs::path made = home.home.path() / "up.bin";
    WriteGenerated(made, 1, kGibibyte);
    const std::string upMd5 = GetFileMd5(made.string());
    fs::rename(made, home.Local("up.bin"));
    ASSERT_TRUE(WaitUntil(
        [&] { return Service().Entry(home.account, "up.bin")["md5"].asString() == upMd5; }, 300s))
        << "up.bin not listed with its MD5";

    // Down: another device puts one on the service.
    Service().PutGeneratedFile(
        home.account, "down.bin", kGibibyte,
        [](std::uint64_t offset, std::string& piece) { FillGenerated(2, offset, piece); });
    const std::string downMd5 = Service().Entry(home.account, "down.bin")["md5"].asString();
    PostToEngine(MSG_SETTING_SYNCFOLDER);
    // The table and the listing are cheap to read; the disk's MD5s are taken once at the end.
    ASSERT_TRUE(WaitSparingly(
        [&] {
            const TView table = TableView();
            return table.count("down.bin") == 1 && table == ListingView(home.account);
        },
        300s))
        << home.ViewsText();
    EXPECT_EQ(fs::file_size(home.Local("down.bin")), kGibibyte);
    EXPECT_EQ(GetFileMd5(home.Local("down.bin").string()), downMd5);
    EXPECT_TRUE(home.ViewsAgree()) << home.ViewsText();
    EndEngine(*engine);
}

}  // namespace
}  // namespace engine_test
