// The readers of the service's answers, fed directly with answer texts: the members and codes
// of every operation, and the hostile answers that must end in a result instead of a crash.

#include "rest/AnswerReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rest/RestResult.h"
#include "testing/TempHome.h"

namespace {

class AnswerReaderTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
};

TEST_F(AnswerReaderTest, CodeGivesTheResult) {
    struct Case {
        const char* why;
        std::string answer;
        int result;
    };
    const Case cases[] = {
        {"code text 0", R"({"code":"0"})", 0},
        {"no code member counts as success", R"({"other":"x"})", 0},
        {"code text 12", R"({"code":"12"})", 8012},
        {"a numeric code reads as its text", R"({"code":12})", 8012},
        {"code text that is not a number counts as 0", R"({"code":"abc"})", 0},
        {"leading digits count, as atoi reads them", R"({"code":"7 apples"})", 8007},
        {"a code of the wrong type (object) counts as missing", R"({"code":{"a":1}})", 0},
        {"not JSON (an error page)", "<html>502 Bad Gateway</html>", REST_BAD_ANSWER},
        {"empty answer", "", REST_BAD_ANSWER},
        {"truncated answer", R"({"code":"0","fmodify":"2024)", REST_BAD_ANSWER},
        {"text after the object", R"({"code":"0"} trailing)", REST_BAD_ANSWER},
        {"an array instead of an object", R"([{"code":"0"}])", REST_BAD_ANSWER},
        {"a bare number", "0", REST_BAD_ANSWER},
        {"a negative code would collide with other results", R"({"code":"-8000"})",
         REST_BAD_ANSWER},
        {"a code beyond the service's range", R"({"code":"99999999999999999999999"})",
         REST_BAD_ANSWER},
        {"nesting deeper than any answer", "{\"a\":" + std::string(5000, '[') + "}",
         REST_BAD_ANSWER},
        // The thread's reader is used again: nothing of the refused parse may be left in it.
        {"an answer after a refused deep one", R"({"code":"12"})", 8012},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(CAnswerReader::CodeOnly(c.answer), c.result);
    }
}

TEST_F(AnswerReaderTest, LoginFillsTheFiveOutputsInOrderOnlyOnSuccess) {
    std::string uid = "old", type = "old", token = "old", push = "old", space = "old";
    EXPECT_EQ(CAnswerReader::Login(R"({"code":"3","ent_uid":"1"})", uid, type, token, push, space),
              8003);
    EXPECT_EQ(uid + type + token + push + space, "oldoldoldoldold");

    EXPECT_EQ(CAnswerReader::Login(R"({"code":"0","ent_uid":"17","ent_utype":"2",)"
                                   R"("ent_utoken":"tok","entjpush":"push","per_space":"55"})",
                                   uid, type, token, push, space),
              0);
    EXPECT_EQ(uid, "17");
    EXPECT_EQ(type, "2");
    EXPECT_EQ(token, "tok");
    EXPECT_EQ(push, "push");
    EXPECT_EQ(space, "55");
}

TEST_F(AnswerReaderTest, VersionCodeTwoIsItsOwnResult) {
    std::string address = "a", md5 = "m";
    int number = -1, flag = -1;
    std::wstring notes = L"n";
    EXPECT_EQ(
        CAnswerReader::Version(R"({"code":"2","vnum":"12"})", address, number, flag, notes, md5),
        2);
    EXPECT_EQ(number, -1);

    EXPECT_EQ(CAnswerReader::Version(R"({"code":"0","vaddress":"http://x/p","vnum":"12",)"
                                     R"("isupdate":"1","vcontext":"新版本","vmd5":"abc"})",
                                     address, number, flag, notes, md5),
              0);
    EXPECT_EQ(address, "http://x/p");
    EXPECT_EQ(number, 12);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(notes, L"新版本");
    EXPECT_EQ(md5, "abc");

    EXPECT_EQ(CAnswerReader::Version(R"({"code":"4"})", address, number, flag, notes, md5), 8004);
}

TEST_F(AnswerReaderTest, ListingEntriesBecomeRecords) {
    std::vector<TSyncFile> files(1);
    files[0].iId = 99;
    ASSERT_EQ(CAnswerReader::Listing(
                  R"({"code":"0","total":2,"files":[)"
                  R"({"fid":3,"fpid":0,"fname":"新建","fmodify":"2024-01-02 03:04:05",)"
                  R"("fisdir":"0","fsize":0,"storecode":""},)"
                  R"({"fid":4,"fpid":3,"fname":"a.txt","fmodify":"m","fisdir":"1",)"
                  R"("fsize":4294967296,"storecode":"d41d8cd98f00b204e9800998ecf8427e"}]})",
                  CAnswerReader::EListing::All, files),
              0);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].iId, 99) << "the vector is appended to, not cleared";
    EXPECT_EQ(files[1].iId, 3);
    EXPECT_EQ(files[1].strName, L"新建");
    EXPECT_EQ(files[1].iType, 0);
    EXPECT_EQ(files[1].strServerTime, "2024-01-02 03:04:05");
    EXPECT_EQ(files[2].iId, 4);
    EXPECT_EQ(files[2].iPId, 3);
    EXPECT_EQ(files[2].iType, 1);
    EXPECT_EQ(files[2].strFileSize, "4294967296");
    EXPECT_EQ(files[2].strMD5, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_TRUE(files[2].strRelativePath.empty());
    EXPECT_TRUE(files[2].strModifyTime.empty());
}

TEST_F(AnswerReaderTest, OneLevelListingReadsItsOwnMembers) {
    std::vector<TSyncFile> files;
    ASSERT_EQ(CAnswerReader::Listing(R"({"code":"0","total":1,"files":[{"fid":3,"pid":7,)"
                                     R"("fname":"b","fmodify":"mod","fcreate":"cre","fisdir":"1",)"
                                     R"("fpid":9,"fsize":5}]})",
                                     CAnswerReader::EListing::OneLevel, files),
              0);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].iPId, 7);
    EXPECT_EQ(files[0].strModifyTime, "mod");
    EXPECT_EQ(files[0].strServerTime, "cre");
    EXPECT_TRUE(files[0].strFileSize.empty());
}

TEST_F(AnswerReaderTest, ListingValuesOfTheWrongKindReadAsDefaults) {
    struct Case {
        const char* why;
        std::string entry;
        std::string size;
        int id;
    };
    const Case cases[] = {
        {"a size with a fraction is cut", R"({"fid":1,"fsize":2.9})", "2", 1},
        {"a size in exponent form", R"({"fid":1,"fsize":1.5E9})", "1500000000", 1},
        {"a size beyond 64 bits", R"({"fid":1,"fsize":1e300})", "0", 1},
        {"a size as text", R"({"fid":1,"fsize":"12"})", "0", 1},
        {"an id as text", R"({"fid":"5","fsize":3})", "3", 0},
        {"an id beyond the int range", R"({"fid":4294967296})", "0", 0},
        {"members missing altogether", R"({})", "0", 0},
        {"members of container types", R"({"fid":[1],"fname":{"x":1},"fsize":[2]})", "0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<TSyncFile> files;
        ASSERT_EQ(CAnswerReader::Listing(R"({"code":"0","total":1,"files":[)" + c.entry + "]}",
                                         CAnswerReader::EListing::All, files),
                  0);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].strFileSize, c.size);
        EXPECT_EQ(files[0].iId, c.id);
    }
}

TEST_F(AnswerReaderTest, ListingThatDoesNotAddUpIsRefusedWhole) {
    struct Case {
        const char* why;
        std::string answer;
        int result;
        size_t records;
    };
    const Case cases[] = {
        {"total 0 and no files: an empty space", R"({"code":"0","total":0})", 0, 0},
        {"total below the array", R"({"code":"0","total":1,"files":[{},{}]})", REST_BAD_ANSWER, 0},
        {"total 0 with every entry present",
         R"({"code":"0","total":0,"files":[{"fid":1},{"fid":2}]})", REST_BAD_ANSWER, 0},
        {"total equal to the array", R"({"code":"0","total":2,"files":[{},{}]})", 0, 2},
        {"total above the array", R"({"code":"0","total":3,"files":[{"fid":1}]})", REST_BAD_ANSWER,
         0},
        {"a huge total", R"({"code":"0","total":2147483647,"files":[]})", REST_BAD_ANSWER, 0},
        {"a negative total", R"({"code":"0","total":-1,"files":[]})", REST_BAD_ANSWER, 0},
        {"no total", R"({"code":"0","files":[{"fid":1}]})", REST_BAD_ANSWER, 0},
        {"total as text", R"({"code":"0","total":"1","files":[{"fid":1}]})", REST_BAD_ANSWER, 0},
        {"files not an array", R"({"code":"0","total":1,"files":{"fid":1}})", REST_BAD_ANSWER, 0},
        {"an entry that is not an object", R"({"code":"0","total":2,"files":[{"fid":1},7]})",
         REST_BAD_ANSWER, 0},
        {"a refusal appends nothing", R"({"code":"5","total":1,"files":[{}]})", 8005, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<TSyncFile> files(2);
        EXPECT_EQ(CAnswerReader::Listing(c.answer, CAnswerReader::EListing::All, files), c.result);
        EXPECT_EQ(files.size(), 2 + c.records);
    }
}

TEST_F(AnswerReaderTest, NamesThatAreNotValidUtf8StillGiveARecord) {
    std::vector<TSyncFile> files;
    ASSERT_EQ(CAnswerReader::Listing("{\"code\":\"0\",\"total\":1,\"files\":[{\"fid\":1,"
                                     "\"fname\":\"a\xff\xfe\\u0000b\"}]}",
                                     CAnswerReader::EListing::All, files),
              0);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].strName.front(), L'a');
}

TEST_F(AnswerReaderTest, UploadCheckCodes) {
    TSyncFile file;
    EXPECT_EQ(CAnswerReader::UploadVerify(R"({"code":"0","s_name":"store-1"})", file), 0);
    EXPECT_EQ(file.dataExtension.dataBreakPoint.strTempName, "store-1");
    EXPECT_EQ(CAnswerReader::UploadVerify(R"({"code":"9","fid":42})", file), REST_ALREADY_STORED);
    EXPECT_EQ(file.iId, 42);
    EXPECT_EQ(CAnswerReader::UploadVerify(R"({"code":"5"})", file), 9005);
    EXPECT_EQ(CAnswerReader::UploadVerify("not json", file), REST_BAD_ANSWER);
}

TEST_F(AnswerReaderTest, UploadStateWritesTheSkipRounded) {
    struct Case {
        const char* why;
        std::string answer;
        std::string offset;
    };
    const Case cases[] = {
        {"a whole number", R"({"code":"0","skip":4})", "4"},
        {"a fraction is rounded", R"({"code":"0","skip":1048576.6})", "1048577"},
        {"no skip", R"({"code":"0"})", "0"},
        {"a skip of the wrong type", R"({"code":"0","skip":"12"})", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string offset = "unset";
        EXPECT_EQ(CAnswerReader::UploadState(c.answer, offset), 0);
        EXPECT_EQ(offset, c.offset);
    }
}

TEST_F(AnswerReaderTest, FileInfoCommitAndFolderCreation) {
    TSyncFile file;
    EXPECT_EQ(CAnswerReader::FileInfo(R"({"code":"0","fmodify":"t1","fsize":1.5E9})", file), 0);
    EXPECT_EQ(file.strServerTime, "t1");
    EXPECT_EQ(file.strFileSize, "1500000000");
    EXPECT_EQ(CAnswerReader::FileInfo(R"({"code":"2","fmodify":"t2"})", file), 8002);
    EXPECT_EQ(file.strServerTime, "t1");

    EXPECT_EQ(CAnswerReader::UploadCommit(R"({"code":"0","fid":77})", file), 0);
    EXPECT_EQ(file.iId, 77);

    EXPECT_EQ(CAnswerReader::MkDir(R"({"code":"0","msg":"42"})", file), 0);
    EXPECT_EQ(file.iId, 42);
    EXPECT_EQ(CAnswerReader::MkDir(R"({"code":"0","msg":"created"})", file), 0);
    EXPECT_EQ(file.iId, 0);
}

TEST_F(AnswerReaderTest, DownloadCodeHeader) {
    struct Case {
        const char* why;
        std::string value;
        int result;
    };
    const Case cases[] = {
        {"a number with the header's blank and line end", " 12\r\n", 8012},
        {"zero", " 0\r\n", 0},
        {"a quoted code", " \"7\"\r\n", 8007},
        {"garbage", " oops\r\n", REST_BAD_ANSWER},
        {"nothing", "\r\n", REST_BAD_ANSWER},
        {"an attempt to close the object early", " 0}, {\"x\":1", REST_BAD_ANSWER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(CAnswerReader::DownloadCodeHeader(c.value), c.result);
    }
}

}  // namespace
