#pragma once
// What the shared tables of this folder have in common: the module names their log lines carry,
// the table store's success codes and the key counters of the queue and the lists.

#include <climits>
#include <string>
#include <type_traits>

#include "common/AfLog.h"
#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

// Log lines name the module a table belongs to, whichever file holds its code.
inline constexpr const char* kBaseDataLog = "BaseData.cpp";
inline constexpr const char* kTaskingLog = "Tasking.cpp";

// The table store answers 0 or 101 for success.
inline bool DbSucceeded(int nRet) {
    return nRet == 0 || nRet == 101;
}

// The next key of a counter: keys stay positive, and a counter raised to INT_MAX by a damaged
// table starts again at 1 instead of overflowing (the store then refuses a key still in use).
inline int NextKey(int& counter) {
    counter = counter >= INT_MAX ? 1 : counter + 1;
    return counter;
}

// ConnectDB of a table object; on failure logs format (one %d: the code) at level and
// disconnects, as every caller must after a failed connect.
inline int ConnectTable(CDbBase& table, int level, const char* file, const char* function, int line,
                        const char* format) {
    int nRet = table.ConnectDB();
    if (!DbSucceeded(nRet)) {
        table.Disconnect();
        AfLog(level, file, function, line, format, nRet);
    }
    return nRet;
}

// Runs op(table) between ConnectDB and Disconnect, as every store operation does: 1001 without
// a table object; a failed connect is logged as ConnectTable does and returned.
template <class Table, class Op>
int WithTable(Table* table, int level, const char* file, const char* function, int line,
              const char* connectFormat, Op op) {
    if (table == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = ConnectTable(*table, level, file, function, line, connectFormat);
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = op(*table);
    table->Disconnect();
    return nRet;
}

// The level-0 dump of the record concerned that follows a failed table operation.
template <class Record>
void LogTrace(const char* file, const char* function, int line, const Record& record) {
    std::string trace;
    if constexpr (std::is_same_v<Record, TSyncFile>) {
        GetTraceStringSyncFile(record, trace);
    } else if constexpr (std::is_same_v<Record, TComand>) {
        GetTraceStringTCommand(record, trace);
    } else if constexpr (std::is_same_v<Record, SyncFail>) {
        GetTraceStringFailTask(record, trace);
    } else {
        GetTraceStringCmpldTask(record, trace);
    }
    AfLog(0, file, function, line, "%s", trace.c_str());
}
