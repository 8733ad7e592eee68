// The one-pass reader of the file listings: every value must read exactly as the document
// readers of the other answers read it, whatever order or shape the members come in, and every
// answer those readers refuse is refused whole.

#include "rest/ListingReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Utility.h"
#include "rest/JsonAnswer.h"
#include "rest/RestResult.h"
#include "testing/TempHome.h"

namespace {

using EListing = CAnswerReader::EListing;

// One entry as read through the parsed document, member by member.
TSyncFile DocumentEntry(const std::string& entryText, EListing kind) {
    CJsonAnswer json;
    EXPECT_TRUE(json.Parse(entryText)) << entryText;
    const Json::Value& entry = json.Root();
    TSyncFile file;
    file.iId = CJsonAnswer::Int(entry, "fid");
    Utf82WideString(CJsonAnswer::Text(entry, "fname"), file.strName);
    file.iType = CJsonAnswer::TextToInt(CJsonAnswer::Text(entry, "fisdir"));
    if (kind == EListing::All) {
        file.iPId = CJsonAnswer::Int(entry, "fpid");
        file.strServerTime = CJsonAnswer::Text(entry, "fmodify");
        file.strFileSize = CJsonAnswer::NumberToSizeText(CJsonAnswer::Number(entry, "fsize"));
        file.strMD5 = CJsonAnswer::Text(entry, "storecode");
    } else {
        file.iPId = CJsonAnswer::Int(entry, "pid");
        file.strModifyTime = CJsonAnswer::Text(entry, "fmodify");
        file.strServerTime = CJsonAnswer::Text(entry, "fcreate");
    }
    return file;
}

std::string Listing(const std::string& entries, const std::string& total = "1") {
    return R"({"code":"0","total":)" + total + R"(,"files":[)" + entries + "]}";
}

class ListingReaderTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
};

TEST_F(ListingReaderTest, EveryValueReadsAsTheDocumentReadersReadIt) {
    const char* entries[] = {
        R"({"fid":7,"fpid":3,"pid":4,"fname":"名字 \"q\" \\ \/","fisdir":"1","fsize":12,)"
        R"("fmodify":"2026-12-10 03:00:00.123456","fcreate":"c","storecode":"abc"})",
        R"({"fisdir":1,"fmodify":1.5,"storecode":true,"fname":12,"fcreate":false})",
        R"({"fmodify":1e2,"storecode":-0.0,"fname":18446744073709551615,"fisdir":"  42x"})",
        R"({"fid":-2147483648,"fpid":2147483647.9,"pid":-3.5,"fsize":9007199254740993})",
        R"({"fid":2147483648,"fpid":1e300,"fsize":-1,"fname":null,"fmodify":null})",
        R"({"fid":"5","fsize":"12","fisdir":[],"fname":{"a":1},"storecode":[1,{"b":2}]})",
        R"({"fid":1,"fid":2,"fname":"first","fname":"second","fsize":[3],"fsize":4})",
        R"({"fid":6,"fid":{},"fname":"\u00e9\ud83d\ude00\u0000x","fmodify":"\t"})",
        R"({"other":{"fid":9,"files":[{"fid":10}]},"fid":11,"deep":[[[{"fname":"x"}]]]})",
        R"({})",
    };
    for (EListing kind : {EListing::All, EListing::OneLevel}) {
        for (const char* entry : entries) {
            SCOPED_TRACE(entry);
            std::vector<TSyncFile> files;
            ASSERT_EQ(CListingReader::Read(Listing(entry), kind, files), REST_OK);
            ASSERT_EQ(files.size(), 1u);
            TSyncFile expected = DocumentEntry(entry, kind);
            EXPECT_EQ(files[0].iId, expected.iId);
            EXPECT_EQ(files[0].iPId, expected.iPId);
            EXPECT_EQ(files[0].strName, expected.strName);
            EXPECT_EQ(files[0].iType, expected.iType);
            EXPECT_EQ(files[0].strFileSize, expected.strFileSize);
            EXPECT_EQ(files[0].strServerTime, expected.strServerTime);
            EXPECT_EQ(files[0].strModifyTime, expected.strModifyTime);
            EXPECT_EQ(files[0].strMD5, expected.strMD5);
        }
    }
}

TEST_F(ListingReaderTest, MembersCountInAnyOrderAndTheLastOfRepeatedOnesWins) {
    struct Case {
        const char* why;
        std::string answer;
        int result;
        std::vector<int> ids;
    };
    const Case cases[] = {
        {"code and total after the files",
         R"({"files":[{"fid":1},{"fid":2}],"total":2,"code":"0"})",
         REST_OK,
         {1, 2}},
        {"a refusal after the files appends nothing",
         R"({"files":[{"fid":1}],"total":1,"code":"3"})",
         8003,
         {}},
        {"a code as a number", R"({"code":4,"total":0})", 8004, {}},
        {"a later total",
         R"({"code":"0","total":5,"files":[{"fid":1},{"fid":2}],"total":2})",
         REST_OK,
         {1, 2}},
        {"a later total that leaves entries out",
         R"({"code":"0","total":2,"files":[{"fid":1},{"fid":2}],"total":1})",
         REST_BAD_ANSWER,
         {}},
        {"a later files array replaces the earlier",
         R"({"code":"0","total":1,"files":[{"fid":1},{"fid":2}],"files":[{"fid":3}]})",
         REST_OK,
         {3}},
        {"a later null files empties the listing",
         R"({"code":"0","total":0,"files":[{"fid":1}],"files":null})",
         REST_OK,
         {}},
        {"a later files object spoils it",
         R"({"code":"0","total":0,"files":[],"files":{}})",
         REST_BAD_ANSWER,
         {}},
        {"a files array nested elsewhere is not the listing",
         R"({"code":"0","total":0,"extra":{"files":[{"fid":1}]},"more":[[{"fid":2}]]})",
         REST_OK,
         {}},
        {"entries past the total refuse the answer",
         R"({"code":"0","total":1,"files":[{"fid":1},{"fid":2}]})",
         REST_BAD_ANSWER,
         {}},
        {"total 0 with entries",
         R"({"code":"0","total":0,"files":[{"fid":1}]})",
         REST_BAD_ANSWER,
         {}},
        {"a non-object entry counted in the total",
         R"({"code":"0","total":4,"files":[{"fid":1},7,[{"fid":2}],"x"]})",
         REST_BAD_ANSWER,
         {}},
        {"a non-object entry within the total",
         R"({"code":"0","total":2,"files":[{"fid":1},[{"fid":2}]]})",
         REST_BAD_ANSWER,
         {}},
        {"a fraction of a total",
         R"({"code":"0","total":1.9,"files":[{"fid":1},{"fid":2}]})",
         REST_BAD_ANSWER,
         {}},
        {"a total written as a whole float",
         R"({"code":"0","total":2.0,"files":[{"fid":1},{"fid":2}]})",
         REST_OK,
         {1, 2}},
        {"a total of true", R"({"code":"0","total":true,"files":[]})", REST_BAD_ANSWER, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<TSyncFile> files(1);
        ASSERT_EQ(CListingReader::Read(c.answer, EListing::All, files), c.result);
        ASSERT_EQ(files.size(), 1 + c.ids.size());
        for (size_t i = 0; i < c.ids.size(); ++i) {
            EXPECT_EQ(files[1 + i].iId, c.ids[i]);
        }
    }
}

TEST_F(ListingReaderTest, AnythingButOneStrictJsonObjectIsRefusedWhole) {
    std::string deep(100000, '[');
    struct Case {
        const char* why;
        std::string answer;
    };
    const Case cases[] = {
        {"empty", ""},
        {"a top-level array", "[" + Listing(R"({"fid":1})") + "]"},
        {"a top-level string", R"("code")"},
        {"cut inside an entry", Listing(R"({"fid":1})").substr(0, 40)},
        {"more after the object", Listing(R"({"fid":1})") + " {}"},
        {"a NUL after the object", Listing(R"({"fid":1})") + std::string(1, '\0')},
        {"nesting deeper than any answer", Listing(R"({"fid":1,"x":)" + deep)},
        {"a lone half of a surrogate pair", Listing(R"({"fname":"\ud800"})")},
        {"a NUL inside a name", Listing(std::string(R"({"fname":"a)") + '\0' + R"("})")},
        {"a raw tab inside a name", Listing("{\"fname\":\"a\tb\"}")},
        {"a comment", Listing(R"({"fid":1 /* note */})")},
        {"a trailing comma", Listing(R"({"fid":1},)")},
        {"a leading zero", Listing(R"({"fid":01})")},
        {"a number beyond the range of doubles", Listing(R"({"fsize":1e400})")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<TSyncFile> files(1);
        EXPECT_EQ(CListingReader::Read(c.answer, EListing::All, files), REST_BAD_ANSWER);
        EXPECT_EQ(files.size(), 1u);
    }
}

TEST_F(ListingReaderTest, NestingUpToTheDocumentReadersLimitIsRead) {
    std::string value = "1";
    for (int level = 0; level < CJsonAnswer::MAX_NESTING - 4; ++level) {
        value = "[" + value + "]";
    }
    std::string answer = Listing(R"({"fid":8,"x":)" + value + "}");
    std::vector<TSyncFile> files;
    ASSERT_EQ(CListingReader::Read(answer, EListing::All, files), REST_OK);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].iId, 8);
    CJsonAnswer document;
    EXPECT_TRUE(document.Parse(answer));
}

}  // namespace
