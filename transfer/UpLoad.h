#pragma once
// Sends a local file to the service: the four upload requests of CSyncMgr. The task carries the
// break point between attempts: after the check it is stored with the storage name in
// strTempName, so that an attempt after an interruption (or a restart) skips the check and
// continues from what the service already holds. Once the service has made the entry, the
// break point says so, and until the entry's details are read an attempt only reads them.

#include "transfer/BaseTransfer.h"

class CUpLoad : public CBaseTransfer {
  public:
    // 7000 unless the task comes from the disk; 1001 for any operation but OPER_ADD.
    int DoTask(TComand& task) override;
    int GetSize(double& value) override;
    void SetSpeedLimit(int& limit) override;
    int GetAverageSpeed(double& value) override;

  private:
    int AddToSvr(TComand& task);
    // The check, then the task is stored with its break point. 8009 when the service already
    // holds the content and has made the entry: nothing is left to send.
    int Verify(TComand& task, const UserInfo& user, const std::wstring& syncDir);
    // State query, data and commit.
    int SendRest(TSyncFile& file, const UserInfo& user, const std::wstring& syncDir);
    // Once the service has made the entry (its id is in the task): the task is stored with a
    // break point saying so, then the entry's details are read. A retry after a failed read
    // only reads them again, even when the local file is gone meanwhile.
    int ReadTaken(TComand& task);
};
