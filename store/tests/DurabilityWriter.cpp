// Writes to the file table until it is killed, for DurabilityTest. Arguments: the first id to
// use. The account's data folder comes from CORVENA_HOME. Every operation that reported
// success is confirmed on standard output ("A id", "M id", "D id") before the next one starts.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/TSyncFileArray.h"
#include "store/tablestore/DbBase.h"

namespace {

TSyncFile Row(int id, const std::string& md5) {
    TSyncFile file;
    file.iId = id;
    file.strName = L"file" + std::to_wstring(id);
    file.strRelativePath = L".\\dir\\file" + std::to_wstring(id);
    file.strFileSize = std::to_string(id);
    file.iType = 1;
    file.strMD5 = md5;
    return file;
}

bool Confirm(const char* what, int id, int nRet) {
    if (nRet != 0 && nRet != 101) {
        std::printf("E %d\n", nRet);
        return false;
    }
    std::printf("%s %d\n", what, id);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    CDbBase::SetAccount(argv[1]);
    CTSyncFileArray* table = CTSyncFileArray::Get();
    if (!Confirm("R", 0, table->ReLoad())) {
        return 1;
    }
    for (int id = std::atoi(argv[2]);; ++id) {
        if (!Confirm("A", id, table->Add(Row(id, "added"))) ||
            !Confirm("M", id, table->Modify(id, Row(id, "modified")))) {
            return 1;
        }
        if (id % 3 == 0 && !Confirm("D", id - 1, table->Delete(id - 1))) {
            return 1;
        }
    }
}
