#include "service/AccountBook.h"

#include <sstream>

#include "service/FormBody.h"
#include "service/ServiceCodes.h"
#include "service/ServiceCrypto.h"

namespace {

const int kSessionToken = 0;
const int kWebToken = 1;
const char* const kUserType = "1";
const char* const kVersionKey = "version_answer";

std::string PasswordHash(const std::string& salt, const std::string& password) {
    return Sha256Hex(salt + password);
}

}  // namespace

TAccount CAccountBook::Provide(const std::string& name, const std::string& password,
                               std::optional<std::int64_t> quota) {
    auto lock = m_store.Lock();
    std::string salt = RandomHex(16);
    auto found = m_store.FindAccountByName(lock, name);
    if (!found) {
        TAccount account;
        account.strName = name;
        account.strUserType = std::string(kUserType);
        account.strPushId = RandomHex(8);
        account.iQuota = quota.value_or(-1);
        return m_store.InsertAccount(lock, account, salt, PasswordHash(salt, password));
    }
    m_store.SetPassword(lock, found->iId, salt, PasswordHash(salt, password));
    if (quota) {
        found->iQuota = *quota;
        m_store.UpdateAccount(lock, *found);
    }
    return *found;
}

std::optional<TAccount> CAccountBook::Find(const std::string& name) {
    auto lock = m_store.Lock();
    return m_store.FindAccountByName(lock, name);
}

std::vector<TAccount> CAccountBook::All() {
    auto lock = m_store.Lock();
    return m_store.Accounts(lock);
}

void CAccountBook::Update(const TAccount& account) {
    auto lock = m_store.Lock();
    m_store.UpdateAccount(lock, account);
}

CAccountBook::TLogin CAccountBook::Login(const std::string& name, const std::string& password) {
    TLogin login;
    std::string clear;
    auto lock = m_store.Lock();
    auto account = m_store.FindAccountByName(lock, name);
    if (!account || !Base64Decode(password, clear)) {
        login.iCode = LOGIN_REJECTED;
        return login;
    }
    auto [salt, hash] = m_store.Password(lock, account->iId);
    if (PasswordHash(salt, clear) != hash) {
        login.iCode = LOGIN_REJECTED;
    } else if (account->bDisabled) {
        login.iCode = LOGIN_DISABLED;
    } else if (account->bExpired) {
        login.iCode = LOGIN_EXPIRED;
    } else {
        login.strToken = RandomHex(16);
        m_store.InsertToken(lock, login.strToken, account->iId, kSessionToken);
        login.account = *account;
    }
    return login;
}

CAccountBook::TIdentity CAccountBook::Identify(const std::string& userId, const std::string& token,
                                               const std::string& userType) {
    auto id = ParseDecimal(userId);
    auto lock = m_store.Lock();
    auto owner = m_store.TokenAccount(lock, token, kSessionToken);
    if (!id || !owner || *owner != *id) {
        return {SVC_BAD_IDENTITY, {}};
    }
    auto account = m_store.FindAccount(lock, *id);
    if (account && account->strUserType != userType) {
        return {SVC_BAD_IDENTITY, {}};
    }
    return Usable(account);
}

CAccountBook::TIdentity CAccountBook::IdentifyUser(const std::string& userId) {
    auto id = ParseDecimal(userId);
    if (!id) {
        return {SVC_BAD_IDENTITY, {}};
    }
    auto lock = m_store.Lock();
    return Usable(m_store.FindAccount(lock, *id));
}

CAccountBook::TIdentity CAccountBook::Usable(std::optional<TAccount> account) {
    if (!account) {
        return {SVC_BAD_IDENTITY, {}};
    }
    if (account->bDisabled || account->bExpired) {
        return {SVC_ACCOUNT_DISABLED, {}};
    }
    return {SVC_OK, *account};
}

std::int64_t CAccountBook::UsedBytes(std::int64_t account) {
    auto lock = m_store.Lock();
    return m_store.UsedBytes(lock, account);
}

std::string CAccountBook::NewWebToken(std::int64_t account) {
    std::string token = RandomHex(16);
    auto lock = m_store.Lock();
    m_store.InsertToken(lock, token, account, kWebToken);
    return token;
}

std::optional<TAccount> CAccountBook::WebTokenAccount(const std::string& token) {
    auto lock = m_store.Lock();
    auto id = m_store.TokenAccount(lock, token, kWebToken);
    return id ? m_store.FindAccount(lock, *id) : std::nullopt;
}

TVersionAnswer CAccountBook::VersionAnswer() {
    std::optional<std::string> text;
    {
        auto lock = m_store.Lock();
        text = m_store.Setting(lock, kVersionKey);
    }
    Json::Value root;
    std::istringstream in(text.value_or("{}"));
    if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr) || !root.isObject()) {
        return TVersionAnswer();
    }
    return VersionAnswerFromJson(root);
}

void CAccountBook::SetVersionAnswer(const TVersionAnswer& answer) {
    Json::Value root;
    root["code"] = answer.iCode;
    root["newest"] = Json::Int64(answer.iNewest);
    root["forced"] = Json::Int64(answer.iForced);
    root["notes"] = answer.strNotes;
    root["address"] = answer.strAddress;
    root["md5"] = answer.strMD5;
    std::string text = Json::writeString(Json::StreamWriterBuilder(), root);
    auto lock = m_store.Lock();
    m_store.SetSetting(lock, kVersionKey, text);
}

TVersionAnswer VersionAnswerFromJson(const Json::Value& value) {
    TVersionAnswer answer;
    answer.iCode = value.get("code", 0).asInt();
    answer.iNewest = value.get("newest", 0).asInt64();
    answer.iForced = value.get("forced", 0).asInt64();
    answer.strNotes = value.get("notes", "").asString();
    answer.strAddress = value.get("address", "").asString();
    answer.strMD5 = value.get("md5", "").asString();
    return answer;
}
