#pragma once
// What the shared tables of this folder have in common: the module names their log lines carry,
// the table store's success codes and the key counters of the queue and the lists.

#include <climits>
#include <string>

#include "common/AfLog.h"
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

// The level-0 dump that follows a failed table operation.
inline void LogTrace(const char* file, const char* function, int line, const std::string& trace) {
    AfLog(0, file, function, line, "%s", trace.c_str());
}
