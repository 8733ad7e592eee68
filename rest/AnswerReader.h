#pragma once
// Turns the service's answers into the outputs and results of the API operations. Each reader
// takes the whole answer text and returns the operation's result: 0 with the outputs filled;
// 8000 plus the service's code (9000 for the upload check) with the outputs untouched; or
// REST_BAD_ANSWER (RestResult.h) for an answer that cannot be used. No input makes a reader
// throw, crash or allocate beyond a bound set by the size of the answer itself.
//
// Stateless; any thread.

#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "rest/AnswerSource.h"

class CAnswerReader {
  public:
    // "ent_uid", "ent_utype", "ent_utoken", "entjpush", "per_space".
    static int Login(const std::string& answer, std::string& userId, std::string& userType,
                     std::string& token, std::string& pushId, std::string& personalSpace);
    // "usrusedsizestr", "usrtotalsizestr".
    static int SpaceInfo(const std::string& answer, std::string& usedSize, std::string& totalSize);
    // The web token travels in "ent_utype".
    static int WebToken(const std::string& answer, std::string& webToken);
    // Code 2 returns 2 and leaves the outputs untouched.
    static int Version(const std::string& answer, std::string& address, int& versionNumber,
                       int& updateFlag, std::wstring& releaseNotes, std::string& packageMd5);

    enum class EListing {
        All,       // the whole space ("/ent/synch/modify")
        OneLevel,  // one folder level ("/ent/file/list")
    };
    // Appends one record per entry. "total" must be the number of entries of "files" (a
    // missing "files" has none) and every entry an object; otherwise the answer is refused and
    // nothing is appended, since a listing that lacks entries would make its caller take the
    // missing items for deleted ones.
    static int Listing(const std::string& answer, EListing kind, std::vector<TSyncFile>& files);
    // The same over the pieces of an answer as it arrives; the source is read to its end.
    static int Listing(CAnswerSource& answer, EListing kind, std::vector<TSyncFile>& files);

    // Code 0: "s_name" into the break point. Code 9: "fid" into iId, result 8009.
    static int UploadVerify(const std::string& answer, TSyncFile& file);
    // "skip" written with "%.0f" into the offset text.
    static int UploadState(const std::string& answer, std::string& offset);
    // "fid" into iId.
    static int UploadCommit(const std::string& answer, TSyncFile& file);
    // "fmodify" into strServerTime, "fsize" into strFileSize, a non-empty "storecode" into
    // strMD5.
    static int FileInfo(const std::string& answer, TSyncFile& file);
    // "msg" (the new folder's id as text) into iId.
    static int MkDir(const std::string& answer, TSyncFile& file);
    // Answers whose code is all that counts (upload data, delete, rename).
    static int CodeOnly(const std::string& answer);
    // The value of a download's "code:" response header, read as the JSON {"code":<value>}.
    static int DownloadCodeHeader(const std::string& headerValue);
};
