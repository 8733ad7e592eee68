#pragma once
// Logging in: the Base64 form of the password (what the service and the store get; the clear
// password is never kept), the texts of the login results, the login call, and the silent
// login with the remembered account (LoginDefault without its sync-directory step).
//
// Any thread; each call makes its own session (CUserMgr with 4).

#include <string>

#include "common/SyncRecords.h"

// Standard Base64 (A-Z, a-z, 0-9, "+", "/", "=" padding).
std::string Base64Encode(const std::string& bytes);

// The message box text of a failed dialog login.
const wchar_t* LoginErrorText(int result);

// UserLogin with the record's account and password; on 0 the five outputs are in the record.
int LoginWithService(UserInfo& user);

// The silent login: 1 when no account is remembered, when the stored record has no password
// or no sync directory is stored, or when the login fails; 0 when it succeeded, with the
// record filled, user and syncdir written to config.ini, and syncDir set.
int LoginDefault(UserInfo& user, std::wstring& syncDir);
