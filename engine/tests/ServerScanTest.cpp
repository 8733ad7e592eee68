// The server scan's checks of a listing and the relative paths it gives, over listings the
// reference service cannot be made to send (it refuses such names and trees itself), and the
// disk scanner's records over a real folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/Utility.h"
#include "engine/DiskScanner.h"
#include "engine/ServerScan.h"
#include "engine/UnusableNameReport.h"
#include "testing/DescriptorLimit.h"
#include "testing/LogText.h"
#include "testing/PackedLists.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

TSyncFile Entry(int id, int pid, const std::wstring& name, int type = 1) {
    TSyncFile file;
    file.iId = id;
    file.iPId = pid;
    file.strName = name;
    file.iType = type;
    file.strServerTime = "2026-01-01 00:00:00.000001";
    return file;
}

struct TListingCase {
    const char* why;
    std::vector<TSyncFile> list;
    int usable;
};

TEST(ServerScanTest, VerifyServerDataRefusesListingsThatCannotBeTrusted) {
    TSyncFile noTime = Entry(3, 0, L"t");
    noTime.strServerTime.clear();
    const std::vector<TListingCase> cases = {
        {"a sound tree", {Entry(5, 0, L"Documents", 0), Entry(6, 5, L"a.txt")}, 1},
        {"an id of 0", {Entry(0, 0, L"zero")}, 0},
        {"an id equal to its parent id", {Entry(7, 7, L"self", 0)}, 0},
        {"an empty server time", {noTime}, 0},
        {"an id listed twice", {Entry(5, 0, L"a", 0), Entry(5, 0, L"b", 0)}, 0},
        {"a parent that is not listed", {Entry(6, 99, L"orphan")}, 0},
        {"a parent that is a file", {Entry(5, 0, L"f"), Entry(6, 5, L"below a file")}, 0},
        {"a cycle of two folders",
         {Entry(5, 6, L"a", 0), Entry(6, 5, L"b", 0), Entry(7, 0, L"fine")},
         0},
        {"an entry hanging below a cycle",
         {Entry(5, 6, L"a", 0), Entry(6, 5, L"b", 0), Entry(8, 6, L"c")},
         0},
    };
    testing_support::TempHome home;
    for (const TListingCase& row : cases) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(CServerScan::VerifyServerData(testing_support::Packed(row.list)), row.usable);
    }
    EXPECT_NE(testing_support::LogText(home.path()).find("Server entry id listed twice"),
              std::string::npos);
}

TEST(ServerScanTest, RelativePathsFollowTheParents) {
    CPackedFiles packed =
        testing_support::Packed({Entry(6, 5, L"a.txt"), Entry(5, 0, L"Documents", 0),
                                 Entry(9, 8, L"深😀.txt"), Entry(8, 5, L"sub", 0)});
    std::unordered_set<int> refused;
    ASSERT_EQ(CServerScan::VerifyServerData(packed), 1);
    CServerScan::BuildRelativePaths(packed, refused);
    const std::vector<TSyncFile> list = testing_support::Unpacked(packed);
    EXPECT_TRUE(refused.empty());
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].strRelativePath, L".\\Documents\\a.txt");
    EXPECT_EQ(list[1].strRelativePath, L".\\Documents");
    EXPECT_EQ(list[2].strRelativePath, L".\\Documents\\sub\\深😀.txt");
    EXPECT_EQ(list[3].strRelativePath, L".\\Documents\\sub");
}

TEST(ServerScanTest, HostileNamesAreLeftOutWithEverythingBelowThem) {
    const std::vector<std::wstring> hostile = {
        L"", L".", L"..", L"a/b", L"a\\b", L"tab\t", L"nul" + std::wstring(1, L'\0'), L"del\x7f"};
    for (const std::wstring& name : hostile) {
        SCOPED_TRACE(WstringToString(name));
        EXPECT_FALSE(CServerScan::IsUsableName(name));
    }
    EXPECT_TRUE(CServerScan::IsUsableName(L"..."));
    EXPECT_TRUE(CServerScan::IsUsableName(L"a b 文件"));

    testing_support::TempHome home;
    CPackedFiles packed = testing_support::Packed(
        {Entry(5, 0, L"..", 0), Entry(6, 5, L"below.txt"), Entry(7, 5, L"deeper", 0),
         Entry(8, 7, L"x.txt"), Entry(9, 0, L"fine.txt"), Entry(10, 0, L"a\\b.txt")});
    std::unordered_set<int> refused;
    std::vector<TSyncFile> unusable;
    ASSERT_EQ(CServerScan::VerifyServerData(packed), 1);
    CServerScan::BuildRelativePaths(packed, refused, unusable);
    const std::vector<TSyncFile> list = testing_support::Unpacked(packed);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].strRelativePath, L".\\fine.txt");
    EXPECT_EQ(refused, (std::unordered_set<int>{5, 6, 7, 8, 10}));
    // Only the names refused for themselves go to the fail list, as it shows them.
    ASSERT_EQ(unusable.size(), 2u);
    EXPECT_EQ(unusable[0].iId, 5);
    EXPECT_EQ(unusable[0].strRelativePath, L".\\\uFFFD\uFFFD");
    EXPECT_EQ(unusable[1].iId, 10);
    EXPECT_EQ(unusable[1].strName, L"a\uFFFDb.txt");
    EXPECT_EQ(unusable[1].strRelativePath, L".\\a\uFFFDb.txt");
    const std::string log = testing_support::LogText(home.path());
    EXPECT_NE(log.find("Server entry name cannot be a local name, left out"), std::string::npos);
    EXPECT_NE(log.find("Server entry below a refused name left out"), std::string::npos);
}

// The fail list shows a refused name without ever making it a path: no separator and no "."
// or ".." survive.
TEST(ServerScanTest, RefusedNamesAreShownWithoutAnythingAPathCouldUse) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L"\uFFFD"},
        {L".", L"\uFFFD"},
        {L"..", L"\uFFFD\uFFFD"},
        {L"../up.txt", L"..\uFFFDup.txt"},
        {L"a\\b", L"a\uFFFDb"},
        {L"/abs", L"\uFFFDabs"},
        {L"nul" + std::wstring(1, L'\0') + L"x", L"nul\uFFFDx"},
        {L"line\nbreak\x7f\x85", L"line\uFFFDbreak\uFFFD\uFFFD"},
        {L"深😀...", L"深😀..."},
    };
    for (const auto& [name, shown] : cases) {
        SCOPED_TRACE(WstringToString(shown));
        EXPECT_EQ(CUnusableNameReport::ShownName(name), shown);
        EXPECT_EQ(CUnusableNameReport::Shown(Entry(5, 4, name), L".\\docs").strRelativePath,
                  L".\\docs\\" + shown);
    }
}

TEST(ServerScanTest, EntriesInOrBelowACycleGetNoPathEvenUnverified) {
    testing_support::TempHome home;
    CPackedFiles packed = testing_support::Packed(
        {Entry(5, 6, L"a", 0), Entry(6, 5, L"b", 0), Entry(7, 6, L"c"), Entry(9, 0, L"fine")});
    std::unordered_set<int> refused;
    CServerScan::BuildRelativePaths(packed, refused);
    const std::vector<TSyncFile> list = testing_support::Unpacked(packed);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].strRelativePath, L".\\fine");
    EXPECT_EQ(refused, (std::unordered_set<int>{5, 6, 7}));
}

class DiskScannerTest : public ::testing::Test {
  protected:
    void Write(const std::string& path, const std::string& content) {
        fs::create_directories((syncDir / path).parent_path());
        std::ofstream(syncDir / path, std::ios::binary) << content;
    }
    std::wstring SyncDir() const { return StringToWstring(syncDir.string()); }

    testing_support::TempHome home;
    fs::path syncDir = home.path() / "sync";
};

TEST_F(DiskScannerTest, RecordsTakeIdsServerTimeAndMd5FromTheTableRowAtTheirPath) {
    Write("d/a.txt", "abc");
    TSyncFile row;
    row.iId = 12;
    row.iPId = 11;
    row.strRelativePath = L".\\d\\a.txt";
    row.strServerTime = "server time";
    row.strMD5 = "stored md5";
    row.strModifyTime = "not copied";
    CDiskScanner scanner;
    ASSERT_EQ(scanner.Scan(SyncDir(), testing_support::Packed({row}), std::nullopt), 0);
    const std::vector<TSyncFile> files = testing_support::Unpacked(scanner.Files());
    ASSERT_EQ(files.size(), 2u);
    const TSyncFile& folder = files[0];
    EXPECT_EQ(folder.strRelativePath, L".\\d");
    EXPECT_EQ(folder.iType, 0);
    EXPECT_EQ(folder.strFileSize, "");
    EXPECT_EQ(folder.iId, 0);
    const TSyncFile& file = files[1];
    EXPECT_EQ(file.strName, L"a.txt");
    EXPECT_EQ(file.strRelativePath, L".\\d\\a.txt");
    EXPECT_EQ(file.iType, 1);
    EXPECT_EQ(file.strFileSize, "3");
    EXPECT_EQ(file.strModifyTime,
              GetFileModifyTime(StringToWstring((syncDir / "d/a.txt").string())));
    EXPECT_EQ(file.iId, 12);
    EXPECT_EQ(file.iPId, 11);
    EXPECT_EQ(file.strServerTime, "server time");
    EXPECT_EQ(file.strMD5, "stored md5");
}

TEST_F(DiskScannerTest, FailuresGiveTheirCodeAndAnEmptyList) {
    TSyncFile row;
    row.strRelativePath = L".\\a.txt";
    const CPackedFiles rows = testing_support::Packed({row});
    CDiskScanner scanner;
    EXPECT_EQ(scanner.Scan(L"", rows, std::nullopt), 1001);
    EXPECT_EQ(scanner.Scan(SyncDir(), rows, std::nullopt), 1002);
    EXPECT_TRUE(scanner.Files().Empty());
    fs::create_directories(syncDir);
    // Empty, with rows, on another device than recorded: not mounted.
    ASSERT_EQ(scanner.Scan(SyncDir(), CPackedFiles(), std::nullopt), 0);
    const std::uint64_t device = scanner.Device();
    EXPECT_EQ(scanner.Scan(SyncDir(), rows, device + 1), 1002);
    EXPECT_EQ(scanner.Result(), 1002);
    // Items on the other device, or no rows to lose: a scan like any other.
    EXPECT_EQ(scanner.Scan(SyncDir(), CPackedFiles(), device + 1), 0);
    Write("a.txt", "a");
    EXPECT_EQ(scanner.Scan(SyncDir(), rows, device + 1), 0);
    EXPECT_EQ(scanner.Files().Size(), 1u);
}

TEST_F(DiskScannerTest, AFolderThatCannotBeListedIsLeftOutWithItsRows) {
    Write("a/x.txt", "x");
    Write("b.txt", "b");
    // Running as root, no permission keeps a folder closed; a descriptor limit does: the root
    // and one more descriptor fit, so "a" opens but cannot be listed.
    CDiskScanner scanner;
    testing_support::CDescriptorLimit limit(2);
    ASSERT_TRUE(limit.IsSet());
    const int result = scanner.Scan(SyncDir(), CPackedFiles(), std::nullopt);
    limit.Restore();
    ASSERT_EQ(result, 0);
    ASSERT_EQ(scanner.Files().Size(), 1u);
    EXPECT_EQ(scanner.Files().At(0).strRelativePath, L".\\b.txt");
    EXPECT_EQ(scanner.KeptOut(), (std::vector<std::wstring>{L".\\a"}));
}

}  // namespace
