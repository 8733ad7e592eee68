// Packed file records: every field comes back as it went in, whatever the text, and two
// packed names are equal exactly when the names are.

#include "common/PackedFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TSyncFile File(int id, std::wstring name, std::wstring path) {
    TSyncFile file;
    file.iId = id;
    file.iPId = id + 1000;
    file.iType = id % 2;
    file.strName = std::move(name);
    file.strRelativePath = std::move(path);
    file.strFileSize = std::to_string(id);
    file.strModifyTime = "2024-01-02 03:04:05";
    file.strServerTime = "1700000000" + std::to_string(id);
    file.strMD5 = "md5 of " + std::to_string(id);
    return file;
}

void ExpectSame(const TSyncFile& a, const TSyncFile& b) {
    EXPECT_EQ(a.iId, b.iId);
    EXPECT_EQ(a.iPId, b.iPId);
    EXPECT_EQ(a.iType, b.iType);
    EXPECT_EQ(a.strName, b.strName);
    EXPECT_EQ(a.strRelativePath, b.strRelativePath);
    EXPECT_EQ(a.strFileSize, b.strFileSize);
    EXPECT_EQ(a.strModifyTime, b.strModifyTime);
    EXPECT_EQ(a.strServerTime, b.strServerTime);
    EXPECT_EQ(a.strMD5, b.strMD5);
    EXPECT_EQ(a.dataExtension.eType, b.dataExtension.eType);
    EXPECT_EQ(a.dataExtension.dataReName.wstrNewName, b.dataExtension.dataReName.wstrNewName);
    EXPECT_EQ(a.dataExtension.dataReName.wstrOldName, b.dataExtension.dataReName.wstrOldName);
    EXPECT_EQ(a.dataExtension.dataBreakPoint.iTaskType, b.dataExtension.dataBreakPoint.iTaskType);
    EXPECT_EQ(a.dataExtension.dataBreakPoint.strTempName,
              b.dataExtension.dataBreakPoint.strTempName);
}

struct TRecordCase {
    const char* why;
    TSyncFile file;
};

std::vector<TRecordCase> Cases() {
    TSyncFile huge = File(3, L"huge.bin", L".\\huge.bin");
    huge.strFileSize = "4294967301";
    TSyncFile renamed = File(4, L"new", L".\\d\\new");
    renamed.dataExtension.eType = 2;
    renamed.dataExtension.dataReName.wstrOldName = L"/sync/d/old";
    renamed.dataExtension.dataReName.wstrNewName = L"/sync/d/new";
    renamed.dataExtension.dataBreakPoint.iTaskType = 7;
    renamed.dataExtension.dataBreakPoint.strTempName = "part";
    TSyncFile bare;
    return {
        {"a name that is its path's last component", File(1, L"a.txt", L".\\d\\a.txt")},
        {"a name that is not", File(2, L"other", L".\\d\\a.txt")},
        {"a size above 2^32", huge},
        {"rename and break point data", renamed},
        {"Chinese and emoji", File(5, L"深圳😀.txt", L".\\文件夹\\深圳😀.txt")},
        {"an empty name beside a path", File(6, L"", L".\\x")},
        {"a name without a path (a listing entry)", File(7, L"listed", L"")},
        {"a lone surrogate and a code point past Unicode",
         File(8, std::wstring(L"s") + wchar_t(0xD800) + wchar_t(0x110000) + L"e",
              std::wstring(L".\\") + wchar_t(0xDFFF) + wchar_t(-5))},
        {"a backslash-free name with a C1 control", File(9, L"c\u0085", L".\\c\u0085")},
        {"nothing at all", bare},
    };
}

TEST(PackedFilesTest, EveryFieldComesBackAsItWentIn) {
    CPackedFiles packed;
    const std::vector<TRecordCase> cases = Cases();
    for (const TRecordCase& row : cases) {
        packed.Add(row.file);
    }
    ASSERT_EQ(packed.Size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].why);
        ExpectSame(packed.At(i), cases[i].file);
        EXPECT_EQ(CPackedFiles::UnpackText(packed.Name(i)), cases[i].file.strName);
        EXPECT_EQ(packed.FileSize(i), cases[i].file.strFileSize);
    }
}

TEST(PackedFilesTest, KeepIfKeepsOrderAndTheDataBesideTheRecords) {
    CPackedFiles packed;
    const std::vector<TRecordCase> cases = Cases();
    std::vector<bool> keep;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        packed.Add(cases[i].file);
        keep.push_back(i % 2 == 1);
    }
    packed.KeepIf(keep);
    ASSERT_EQ(packed.Size(), cases.size() / 2);
    for (std::size_t i = 0; i < packed.Size(); ++i) {
        SCOPED_TRACE(cases[2 * i + 1].why);
        ExpectSame(packed.At(i), cases[2 * i + 1].file);
    }
}

TEST(PackedFilesTest, PackedTextsAreEqualExactlyWhenTheTextsAre) {
    const std::vector<std::wstring> texts = {
        L"",
        L".\\fo",
        L".\\foo",
        L".\\foo\\x",
        L"A.txt",
        L"a.txt",
        L"深",
        L"😀",
        std::wstring(1, wchar_t(0xD83D)),
        std::wstring(1, wchar_t(0x10FFFF)),
        std::wstring(1, wchar_t(0x110000)),
        std::wstring(1, wchar_t(0x7FFFFFFF)),
        std::wstring(1, wchar_t(-1)),
        std::wstring(L"a") + wchar_t(0),
    };
    for (const std::wstring& a : texts) {
        const std::string packedA = CPackedFiles::PackText(a);
        EXPECT_EQ(CPackedFiles::UnpackText(packedA), a);
        for (const std::wstring& b : texts) {
            EXPECT_EQ(packedA == CPackedFiles::PackText(b), a == b);
        }
        // A backslash in the packed form is always one of the text.
        EXPECT_EQ(std::count(packedA.begin(), packedA.end(), '\\'),
                  std::count(a.begin(), a.end(), L'\\'));
    }
}

TEST(PackedFilesTest, RecordsOutgrowingAPoolBlockAndNewPathsStayIntact) {
    CPackedFiles packed;
    const std::wstring longName(300000, L'名');
    for (int i = 0; i < 20; ++i) {
        packed.Add(File(i, longName + std::to_wstring(i), L".\\" + longName + std::to_wstring(i)));
    }
    packed.SetRelativePath(3, CPackedFiles::PackText(L".\\moved\\" + longName + L"3"));
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const TSyncFile file = packed.At(std::size_t(i));
        EXPECT_EQ(file.strName, longName + std::to_wstring(i));
        EXPECT_EQ(file.strRelativePath,
                  (i == 3 ? L".\\moved\\" : L".\\") + longName + std::to_wstring(i));
        EXPECT_EQ(file.strServerTime, "1700000000" + std::to_string(i));
    }
}

}  // namespace
