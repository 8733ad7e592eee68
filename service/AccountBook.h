#pragma once
// Accounts, their sessions and web tokens, and the version answer: the state behind the
// account requests and the identity check of every other request.
//
// Thread-safe: every operation takes the metadata store's lock.

#include <json/json.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/MetaStore.h"
#include "service/ServiceRecords.h"

class CAccountBook {
  public:
    struct TLogin {
        int iCode = 0;
        TAccount account;
        std::string strToken;
    };
    struct TIdentity {
        int iCode = 0;
        TAccount account;
    };

    explicit CAccountBook(CMetaStore& store) : m_store(store) {}

    // Creates the account or, when it exists, sets its password; a given quota replaces the
    // stored one.
    TAccount Provide(const std::string& name, const std::string& password,
                     std::optional<std::int64_t> quota);
    std::optional<TAccount> Find(const std::string& name);
    std::vector<TAccount> All();
    // Stores quota, disabled and expired.
    void Update(const TAccount& account);

    // password is the Base64 text of the password, as the client sends it. Issues a new
    // session token; earlier ones stay valid (several devices share an account).
    TLogin Login(const std::string& name, const std::string& password);

    // The identity headers of a request: the user id, session token and user type must belong
    // together (SVC_BAD_IDENTITY), and the account must be usable (SVC_ACCOUNT_DISABLED).
    TIdentity Identify(const std::string& userId, const std::string& token,
                       const std::string& userType);
    // Only the user id, for the download, which carries no token.
    TIdentity IdentifyUser(const std::string& userId);

    std::int64_t UsedBytes(std::int64_t account);

    std::string NewWebToken(std::int64_t account);
    std::optional<TAccount> WebTokenAccount(const std::string& token);

    TVersionAnswer VersionAnswer();
    void SetVersionAnswer(const TVersionAnswer& answer);

  private:
    TIdentity Usable(std::optional<TAccount> account);

    CMetaStore& m_store;
};

// The version answer as the control interface and the settings write it: {"code", "newest",
// "forced", "notes", "address", "md5"}, each optional.
TVersionAnswer VersionAnswerFromJson(const Json::Value& value);
