#pragma once
// The sync requests of the engine: the listing of the whole space, the four steps of an upload,
// the download, and pause and resume of the running transfer. Every failure is logged (source
// file "SyncMgr.cpp"); results in RestResult.h.
//
// The transfer worker keeps one session for all its transfers; other threads may call
// SessionPause, SessionResume and the getters of CHttpCommBase while a transfer runs.

#include <functional>
#include <string>
#include <vector>

#include "common/PackedFiles.h"
#include "common/SyncRecords.h"
#include "rest/AnswerReader.h"
#include "rest/HttpCommBase.h"

class CSyncMgr : public CHttpCommBase {
  public:
    explicit CSyncMgr(int clientKind) : CHttpCommBase(clientKind) {}
    ~CSyncMgr() override = default;

    // Appends one record per item of the space; nothing on failure.
    int GetFileListAll(const UserInfo& user, std::vector<TSyncFile>& files);
    // The same into packed records, for listings of a whole space.
    int GetFileListAll(const UserInfo& user, CPackedFiles& files);
    // One level: the root, first page, by name.
    int GetFileList(const UserInfo& user, std::vector<TSyncFile>& files);

    // Hashes the local file into strMD5 and registers it: 0 with the storage name in the break
    // point; 8009 with iId set when the service already holds the content; 9000 + code for any
    // other refusal; 1002/1032/1001 for the local file, before any request.
    int UploadFile1Verify(const UserInfo& user, const std::wstring& syncDir, TSyncFile& file);
    // How many bytes of the storage name the service holds, as decimal text.
    int UploadFile2State(const UserInfo& user, TSyncFile& file, std::string& offset);
    // Streams the file from offset to its end in one PUT. 90003 when offset is not a decimal
    // number within the file.
    int UploadFile3Put(const UserInfo& user, const std::wstring& syncDir, TSyncFile& file,
                       const std::string& offset);
    // Creates the file entry; iId is set.
    int UploadFile4Commit(const UserInfo& user, TSyncFile& file);
    // Appends the rest of the file to the local file, from its current size. What arrived
    // stays there after a failure, so the next attempt resumes after it. 1001 when the local
    // file cannot be opened or written.
    int FileDownload(const UserInfo& user, const std::wstring& syncDir, TSyncFile& file);

    // The running transfer stops moving data until SessionResume; between transfers a pause
    // has no effect. Return 0.
    int SessionPause();
    int SessionResume();

    int FileDel(const UserInfo& user, TSyncFile& file);
    // Renames the item to strName.
    int FileRename(const UserInfo& user, TSyncFile& file);

  private:
    struct DownloadTarget;
    // A listing read while it arrives; nothing appended on failure.
    // read takes the answer and returns the listing's result; discard removes what it
    // appended.
    int ReadListing(const char* function, const char* path, const std::string& body,
                    const UserInfo& user, const std::function<int(CAnswerSource&)>& read,
                    const std::function<void()>& discard);
    static int Checked(const char* function, const std::string& answer, int result);
    // The data callbacks of the upload and the download; the pointers are the session's own
    // transfer state.
    static size_t ReadPiece(char* buffer, size_t size, size_t count, void* upload);
    static size_t WritePiece(char* data, size_t size, size_t count, void* download);
    static size_t CatchCodeHeader(char* line, size_t size, size_t count, void* download);
};
