#pragma once
// The account requests of the desktop client: login, space usage, web token, version check.
// Takes the account data as separate texts and writes nothing to the log; callers log the
// result. Outputs are assigned only when the operation returns 0. Results in RestResult.h.
//
// Every caller creates a fresh session (with 4) per request, on its own thread.

#include <string>

#include "rest/HttpCommBase.h"

class CUserMgr : public CHttpCommBase {
  public:
    explicit CUserMgr(int clientKind) : CHttpCommBase(clientKind) {}
    ~CUserMgr() override = default;

    // The password is sent as given (the login dialog passes its Base64 text).
    int UserLogin(const std::string& account, const std::string& password, std::string& userId,
                  std::string& userType, std::string& token, std::string& pushId,
                  std::string& personalSpace);
    // Display texts of the used and total space; gives up after 10 seconds.
    int GetSpaceInfo(const std::string& userId, const std::string& token,
                     const std::string& userType, std::string& usedSize, std::string& totalSize);
    int GetWebToken(const std::string& userId, const std::string& token,
                    const std::string& userType, std::string& webToken);
    // Also returns 2, with the outputs untouched, when the service answers code 2.
    int GetVersion(const std::string& version, std::string& address, int& versionNumber,
                   int& updateFlag, std::wstring& releaseNotes, std::string& packageMd5);
};
