// Which fail-list entries `sync --wait` still reports once it has its answer: real files in a
// sync directory, fail entries and file-table rows as the engine writes them.

#include "cli/StillFailing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/Utility.h"
#include "testing/FileText.h"
#include "testing/TempHome.h"

namespace {

SyncFail Fail(int key, int origin, int oper, const std::string& name) {
    SyncFail fail;
    fail.errcode = 9005;
    fail.iFailAutoKey = key;
    fail.tComand.iType = origin;
    fail.tComand.iOper = oper;
    fail.tComand.tSyncFile.iType = 1;
    fail.tComand.tSyncFile.strName = StringToWstring(name);
    fail.tComand.tSyncFile.strRelativePath = L".\\" + StringToWstring(name);
    return fail;
}

TSyncFile Row(const std::string& name, const std::string& md5) {
    TSyncFile row;
    row.iType = 1;
    row.strName = StringToWstring(name);
    row.strRelativePath = L".\\" + StringToWstring(name);
    row.strMD5 = md5;
    return row;
}

TEST(StillFailingTest, AnEntryCountsWhileItsItemStillFails) {
    testing_support::TempHome home;
    const std::filesystem::path syncDir = home.path() / "sync";
    std::filesystem::create_directories(syncDir);
    for (const char* name : {"waiting.bin", "through.bin", "changed.bin", "twice.bin"}) {
        testing_support::WriteWholeFile(syncDir / name, name);
    }
    const std::string throughMd5 = GetFileMd5((syncDir / "through.bin").string());
    const std::vector<TSyncFile> table = {Row("through.bin", throughMd5),
                                          Row("changed.bin", "an older content's md5")};
    // Keys up to 10 were there before the request.
    const std::vector<SyncFail> fails = {
        Fail(1, 1, OPER_ADD, "waiting.bin"),   // upload still due: counts
        Fail(2, 1, OPER_ADD, "through.bin"),   // uploaded since: does not
        Fail(3, 1, OPER_ADD, "gone.bin"),      // the file was removed since: does not
        Fail(4, 1, OPER_ADD, "changed.bin"),   // its content is not the synced one: counts
        Fail(5, 0, OPER_ADD, "download.bin"),  // the comparison tries it again: does not
        Fail(6, 1, OPER_ADD, "twice.bin"),     // failed again after the request: counts once
        Fail(11, 1, OPER_ADD, "twice.bin"),
        Fail(12, 0, OPER_DELETE, "new.bin"),  // made after the request: counts
    };
    std::vector<int> keys;
    for (const SyncFail& fail : StillFailing(fails, 10, table, StringToWstring(syncDir))) {
        keys.push_back(fail.iFailAutoKey);
    }
    EXPECT_EQ(keys, (std::vector<int>{1, 4, 11, 12}));
}

}  // namespace
