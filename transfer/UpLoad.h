#pragma once
// Sends a local file to the service: the four upload requests of CSyncMgr. The task carries the
// break point between attempts: after the check it is stored with the storage name in
// strTempName, so that an attempt after an interruption (or a restart) skips the check and
// continues from what the service already holds; after the commit strTempName is emptied.

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
    // The check, then the task is stored with its break point. When the service already
    // holds the content (8009) bHeld is set and the result is that of reading the entry's
    // details: nothing is left to send.
    int Verify(TComand& task, const UserInfo& user, const std::wstring& syncDir, bool& bHeld);
    // State query, data and commit.
    int SendRest(TSyncFile& file, const UserInfo& user, const std::wstring& syncDir);
};
