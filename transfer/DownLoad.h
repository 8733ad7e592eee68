#pragma once
// Brings a file's content from the service to the disk. The content goes to a hidden partial
// file beside the target (".corvena-<id>.part"), never to the target's name, where a scan would
// take a part for the user's file. A resumed download continues the partial file from its size;
// only a complete download whose MD5 (or, without one, size) matches the listing's is put in
// place. It never destroys a file the service does not have: what stands at the target is
// replaced only when it is the file the local file table recorded, unchanged since (the
// service's newer version takes its place), or a file with the very content that comes down;
// anything else there is kept under the time-stamped backup name (a_20140903090503.txt, or a
// free name after it) and the download takes the name, so that the next comparison uploads the
// kept file.
//
// The task is stored with strTempName "download" before the request, so that the queue keeps
// it across a restart and the download resumes.

#include "transfer/BaseTransfer.h"

class CDownLoad : public CBaseTransfer {
  public:
    // 7000 unless the task comes from the service; 1001 for any operation but OPER_ADD or a
    // path outside the sync directory; 7001 when the content does not match the listing; 1017,
    // with nothing downloaded, when the table records the item under another name that is
    // still on disk.
    int DoTask(TComand& task) override;
    int GetSize(double& value) override;
    void SetSpeedLimit(int& limit) override;
    int GetAverageSpeed(double& value) override;

    // The relative path of the partial file of the file's download.
    static std::wstring PartialPath(const TSyncFile& file);
    // Drops the partial file (a download the service refused cannot be continued).
    static void RemovePartial(const TSyncFile& file);
    // Whether a name in a folder is that of a download's partial file.
    static bool IsPartialName(const std::string& name);

  private:
    // Checks the complete partial file against the listing and puts it in place.
    static int Finish(TSyncFile& file, const plat::CRootedPath& partial,
                      const plat::CRootedPath& target);
    // Renames the partial file to the target without losing what stands there. 0 or the error.
    static int Place(const TSyncFile& file, const plat::CRootedPath& partial,
                     const plat::CRootedPath& target);
    // Whether the table's row for the item's id names another path, where an item stands.
    static bool IsOldNameOnDisk(const TSyncFile& file);
    // Whether the target is a file with the content of the download (the listing's MD5).
    static bool HoldsContent(const TSyncFile& file, const plat::CRootedPath& target);
};
