#include "store/tablestore/RecordColumns.h"

#include <array>

namespace {

struct Column {
    const char* name;
    bool text;
};

constexpr std::array<Column, kSyncFileColumnCount> kSyncFileColumns = {{
    {"iId", false},
    {"iPId", false},
    {"strName", true},
    {"strRelativePath", true},
    {"strFileSize", true},
    {"strModifyTime", true},
    {"strServerTime", true},
    {"iType", false},
    {"strMD5", true},
    {"eType", false},
    {"wstrNewName", true},
    {"wstrOldName", true},
    {"iTaskType", false},
    {"strTempName", true},
}};

constexpr std::array<Column, 5> kComandColumns = {{
    {"iIdKey", false},
    {"iType", false},
    {"iOper", false},
    {"strSize", true},
    {"statement", true},
}};

const char* const kTaskFilePrefix = "file_";

template <std::size_t N>
std::string Defs(const std::array<Column, N>& columns, const std::string& prefix) {
    std::string out;
    for (const Column& column : columns) {
        if (!out.empty()) {
            out += ", ";
        }
        out += prefix + column.name +
               (column.text ? " TEXT NOT NULL DEFAULT ''" : " INTEGER NOT NULL DEFAULT 0");
    }
    return out;
}

template <std::size_t N>
std::string Names(const std::array<Column, N>& columns, const std::string& prefix) {
    std::string out;
    for (const Column& column : columns) {
        if (!out.empty()) {
            out += ", ";
        }
        out += prefix + column.name;
    }
    return out;
}

}  // namespace

std::string SyncFileColumnDefs(const std::string& prefix) {
    return Defs(kSyncFileColumns, prefix);
}

std::string SyncFileColumnNames(const std::string& prefix) {
    return Names(kSyncFileColumns, prefix);
}

std::string ComandColumnDefs() {
    return Defs(kComandColumns, "") + ", " + Defs(kSyncFileColumns, kTaskFilePrefix);
}

std::string ComandColumnNames() {
    return Names(kComandColumns, "") + ", " + Names(kSyncFileColumns, kTaskFilePrefix);
}

std::string Placeholders(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += i == 0 ? "?" : ", ?";
    }
    return out;
}

void BindSyncFile(CStatement& statement, int first, const TSyncFile& file) {
    int i = first;
    statement.Bind(i++, file.iId);
    statement.Bind(i++, file.iPId);
    statement.Bind(i++, file.strName);
    statement.Bind(i++, file.strRelativePath);
    statement.Bind(i++, file.strFileSize);
    statement.Bind(i++, file.strModifyTime);
    statement.Bind(i++, file.strServerTime);
    statement.Bind(i++, file.iType);
    statement.Bind(i++, file.strMD5);
    statement.Bind(i++, file.dataExtension.eType);
    statement.Bind(i++, file.dataExtension.dataReName.wstrNewName);
    statement.Bind(i++, file.dataExtension.dataReName.wstrOldName);
    statement.Bind(i++, file.dataExtension.dataBreakPoint.iTaskType);
    statement.Bind(i++, file.dataExtension.dataBreakPoint.strTempName);
}

void ReadSyncFile(const CStatement& statement, int first, TSyncFile& file) {
    int i = first;
    file.iId = statement.Int(i++);
    file.iPId = statement.Int(i++);
    file.strName = statement.WText(i++);
    file.strRelativePath = statement.WText(i++);
    file.strFileSize = statement.Text(i++);
    file.strModifyTime = statement.Text(i++);
    file.strServerTime = statement.Text(i++);
    file.iType = statement.Int(i++);
    file.strMD5 = statement.Text(i++);
    file.dataExtension.eType = statement.Int(i++);
    file.dataExtension.dataReName.wstrNewName = statement.WText(i++);
    file.dataExtension.dataReName.wstrOldName = statement.WText(i++);
    file.dataExtension.dataBreakPoint.iTaskType = statement.Int(i++);
    file.dataExtension.dataBreakPoint.strTempName = statement.Text(i++);
}

void BindComand(CStatement& statement, int first, const TComand& command) {
    statement.Bind(first, command.iIdKey);
    statement.Bind(first + 1, command.iType);
    statement.Bind(first + 2, command.iOper);
    statement.Bind(first + 3, command.strSize);
    statement.Bind(first + 4, command.statement);
    BindSyncFile(statement, first + 5, command.tSyncFile);
}

void ReadComand(const CStatement& statement, int first, TComand& command) {
    command.iIdKey = statement.Int(first);
    command.iType = statement.Int(first + 1);
    command.iOper = statement.Int(first + 2);
    command.strSize = statement.Text(first + 3);
    command.statement = statement.Text(first + 4);
    ReadSyncFile(statement, first + 5, command.tSyncFile);
}
