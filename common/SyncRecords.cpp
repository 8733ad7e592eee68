#include "common/SyncRecords.h"

#include <string>

#include "common/Utility.h"

namespace {

// Separators between the fields of the file part: one blank and six tabs in the file and
// command traces, one blank, five tabs and one blank in the fail and completed traces.
constexpr wchar_t kWideGap[] = L" \t\t\t\t\t\t";
constexpr wchar_t kNarrowGap[] = L" \t\t\t\t\t ";

std::wstring Num(int value) {
    return std::to_wstring(value);
}

std::wstring Wide(const std::string& text) {
    return StringToWstring(text);
}

std::wstring FileText(const TSyncFile& f, const std::wstring& gap) {
    const DataExtension& ext = f.dataExtension;
    return L"TSyncFile [iId = (" + Num(f.iId) + L") iPId = (" + Num(f.iPId) + L")" + gap +
           L"strName = (" + f.strName + L")" + gap + L"strRelativePath = (" + f.strRelativePath +
           L")" + gap + L"strFileSize = (" + Wide(f.strFileSize) + L")" + gap +
           L"strModifyTime = (" + Wide(f.strModifyTime) + L")" + gap + L"strServerTime = (" +
           Wide(f.strServerTime) + L")" + gap + L"iType = (" + Num(f.iType) + L")" + gap +
           L"strMD5 = (" + Wide(f.strMD5) + L")" + gap + L"dataExtension.eType = (" +
           Num(ext.eType) + L")" + gap + L"dataExtension.dataBreakPoint.strTempName = (" +
           Wide(ext.dataBreakPoint.strTempName) + L")" + gap +
           L"dataExtension.dataBreakPoint.iTaskType = (" + Num(ext.dataBreakPoint.iTaskType) +
           L")" + gap + L"dataExtension.dataReName.wstrNewName = (" + ext.dataReName.wstrNewName +
           L")" + gap + L"dataExtension.dataReName.wstrOldName = (" + ext.dataReName.wstrOldName +
           L")]";
}

std::wstring CommandText(const TComand& c) {
    return L"TCommand [iIdKey = (" + Num(c.iIdKey) + L") iType = (" + Num(c.iType) +
           L") iOper = (" + Num(c.iOper) + L") statement = (" + Wide(c.statement) +
           L") strSize = (" + Wide(c.strSize) + L")]";
}

// The command and its file as they follow a fail or completed head.
std::wstring TaskTail(const TComand& c) {
    return kNarrowGap + CommandText(c) + kNarrowGap + FileText(c.tSyncFile, kNarrowGap);
}

}  // namespace

void GetTraceStringSyncFile(TSyncFile file, std::string& out) {
    out = WstringToString(FileText(file, kWideGap));
}

void GetTraceStringTCommand(TComand command, std::string& out) {
    out = WstringToString(CommandText(command) + FileText(command.tSyncFile, kWideGap));
}

void GetTraceStringFailTask(SyncFail fail, std::string& out) {
    out = WstringToString(L"SyncFail [errcode = (" + Num(fail.errcode) + L") iReTry = (" +
                          Num(fail.iReTry) + L") iFailAutoKey = (" + Num(fail.iFailAutoKey) +
                          L")]" + TaskTail(fail.tComand));
}

void GetTraceStringCmpldTask(SyncCompleted completed, std::string& out) {
    out = WstringToString(L"SyncCompleted [iCmpdAutoKey = (" + Num(completed.iCmpdAutoKey) + L")]" +
                          TaskTail(completed.tComand));
}
