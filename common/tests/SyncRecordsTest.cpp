#include "common/SyncRecords.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TSyncFile SampleFile() {
    TSyncFile f;
    f.iId = 12;
    f.iPId = 3;
    f.strName = L"报告.doc";
    f.strRelativePath = L".\\a\\报告.doc";
    f.strFileSize = "2048";
    f.strModifyTime = "2014-09-03 09:05:03";
    f.strServerTime = "1409706303000";
    f.iType = 1;
    f.strMD5 = "d41d8cd98f00b204e9800998ecf8427e";
    f.dataExtension.eType = 2;
    f.dataExtension.dataBreakPoint.strTempName = "download";
    f.dataExtension.dataBreakPoint.iTaskType = 5;
    f.dataExtension.dataReName.wstrNewName = L"new";
    f.dataExtension.dataReName.wstrOldName = L"old";
    return f;
}

TComand SampleCommand() {
    TComand c;
    c.iType = 1;
    c.iOper = OPER_RENAME;
    c.strSize = "2048";
    c.tSyncFile = SampleFile();
    c.statement = "note";
    c.iIdKey = 9;
    return c;
}

// The file part with the given separator between its fields.
std::string FileTrace(const std::string& gap) {
    return "TSyncFile [iId = (12) iPId = (3)" + gap + "strName = (报告.doc)" + gap +
           "strRelativePath = (.\\a\\报告.doc)" + gap + "strFileSize = (2048)" + gap +
           "strModifyTime = (2014-09-03 09:05:03)" + gap + "strServerTime = (1409706303000)" + gap +
           "iType = (1)" + gap + "strMD5 = (d41d8cd98f00b204e9800998ecf8427e)" + gap +
           "dataExtension.eType = (2)" + gap +
           "dataExtension.dataBreakPoint.strTempName = (download)" + gap +
           "dataExtension.dataBreakPoint.iTaskType = (5)" + gap +
           "dataExtension.dataReName.wstrNewName = (new)" + gap +
           "dataExtension.dataReName.wstrOldName = (old)]";
}

const std::string kSixTabs = " \t\t\t\t\t\t";
const std::string kFiveTabs = " \t\t\t\t\t ";
const std::string kCommand =
    "TCommand [iIdKey = (9) iType = (1) iOper = (4) statement = (note) strSize = (2048)]";

TEST(SyncRecordsTest, DefaultsAndAssignmentThatKeepsStatement) {
    TComand fresh;
    EXPECT_EQ(-1, fresh.iIdKey);
    EXPECT_EQ("0", fresh.statement);
    fresh = SampleCommand();
    EXPECT_EQ("0", fresh.statement);
    EXPECT_EQ(9, fresh.iIdKey);
    EXPECT_EQ(L"报告.doc", fresh.tSyncFile.strName);
    TComand copy(SampleCommand());
    EXPECT_EQ("note", copy.statement) << "the copy constructor copies everything";

    SyncFail fail;
    EXPECT_EQ(-1, fail.errcode);
    EXPECT_EQ(-1, fail.iReTry);
    EXPECT_EQ(-1, fail.iFailAutoKey);

    TSyncFile file = SampleFile();
    file.Clear();
    EXPECT_EQ(0, file.iId);
    EXPECT_EQ(L"", file.strName);
    EXPECT_EQ("", file.dataExtension.dataBreakPoint.strTempName);
}

TEST(SyncRecordsTest, TraceOfFile) {
    std::string out = "replaced";
    GetTraceStringSyncFile(SampleFile(), out);
    EXPECT_EQ(FileTrace(kSixTabs), out);
}

TEST(SyncRecordsTest, TraceOfCommandJoinsWithoutSeparator) {
    std::string out;
    GetTraceStringTCommand(SampleCommand(), out);
    EXPECT_EQ(kCommand + FileTrace(kSixTabs), out);
    EXPECT_NE(std::string::npos, out.find("(2048)]TSyncFile ["));
}

TEST(SyncRecordsTest, TraceOfFailAndCompletedTasks) {
    // Built by copying, so that the command keeps its statement.
    SyncFail fail{1002, SampleCommand(), 1, 77};
    std::string out;
    GetTraceStringFailTask(fail, out);
    EXPECT_EQ("SyncFail [errcode = (1002) iReTry = (1) iFailAutoKey = (77)]" + kFiveTabs +
                  kCommand + kFiveTabs + FileTrace(kFiveTabs),
              out);

    SyncCompleted completed{8, SampleCommand()};
    GetTraceStringCmpldTask(completed, out);
    EXPECT_EQ("SyncCompleted [iCmpdAutoKey = (8)]" + kFiveTabs + kCommand + kFiveTabs +
                  FileTrace(kFiveTabs),
              out);
}

TEST(SyncRecordsTest, TraceOfInvalidTextsStaysValidUtf8) {
    TSyncFile f;
    f.strName = std::wstring(1, static_cast<wchar_t>(0xD800));
    f.strMD5 = "\xFF";
    std::string out;
    GetTraceStringSyncFile(f, out);
    EXPECT_NE(std::string::npos, out.find("strName = (\xEF\xBF\xBD)"));
    EXPECT_NE(std::string::npos, out.find("strMD5 = (\xEF\xBF\xBD)"));
}

}  // namespace
