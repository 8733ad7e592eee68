#pragma once
// Starts a refservice in the test's process on a free loopback port, with its data in the
// test's fresh CORVENA_HOME, and talks to it over real HTTP the way the client does: form
// posts with the identity headers, names with every byte escaped.

#include <gtest/gtest.h>
#include <httplib.h>
#include <json/json.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "service/RefService.h"
#include "service/ServiceCrypto.h"
#include "testing/TempHome.h"

namespace service_test {

// Every byte as "%" and two upper-case hex digits, as the client sends names.
inline std::string Escape(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        out += '%';
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
    return out;
}

inline std::string Md5Of(const std::string& content) {
    CMd5Stream md5;
    md5.Update(content.data(), content.size());
    return md5.HexDigest();
}

inline Json::Value ParseJson(const std::string& text) {
    Json::Value value;
    std::istringstream in(text);
    if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &value, nullptr)) {
        ADD_FAILURE() << "not JSON: " << text;
    }
    return value;
}

// What a login gives the client.
struct TSession {
    std::string strUserId;
    std::string strToken;
    std::string strUserType;
    std::string strSpace;

    httplib::Headers Headers() const {
        return {{"ent_uclient", "4"},
                {"ent_uid", strUserId},
                {"ent_utoken", strToken},
                {"ent_utype", strUserType}};
    }
};

class ServiceFixture : public ::testing::Test {
  protected:
    void SetUp() override { Start(); }

    TServiceOptions DefaultOptions() const {
        TServiceOptions options;
        options.dataDir = m_home.path() / "service";
        options.iPort = 0;
        options.users = {{"alice", "secret"}, {"bob", "hunter2"}};
        options.bAdmin = true;
        return options;
    }

    void Start(const TServiceOptions& options) {
        m_service = std::make_unique<CRefService>(options);
        m_iPort = m_service->Start();
    }
    void Start() { Start(DefaultOptions()); }
    // Stops the service and starts it again on the same data.
    void Restart() {
        m_service.reset();
        Start();
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", m_iPort);
        client.set_read_timeout(30);
        return client;
    }

    // A form post to an endpoint below "/biz"; the answer must be JSON with a string "code".
    Json::Value Call(const std::string& endpoint, const std::string& body,
                     const httplib::Headers& headers = {}) const {
        auto result = Client().Post(("/biz" + endpoint).c_str(), headers, body,
                                    "application/x-www-form-urlencoded");
        if (!result) {
            ADD_FAILURE() << endpoint << ": no answer";
            return Json::Value();
        }
        EXPECT_EQ(result->status, 200) << endpoint;
        Json::Value answer = ParseJson(result->body);
        EXPECT_TRUE(answer["code"].isString()) << endpoint << ": " << result->body;
        return answer;
    }
    static int Code(const Json::Value& answer) { return std::stoi(answer["code"].asString()); }

    TSession Login(const std::string& user, const std::string& password) const {
        Json::Value answer =
            Call("/ent/user/login", "usr_account=" + user + "&usr_pwd=" + Base64Encode(password),
                 {{"ent_uclient", "4"}});
        EXPECT_EQ(answer["code"].asString(), "0") << user;
        return {answer["ent_uid"].asString(), answer["ent_utoken"].asString(),
                answer["ent_utype"].asString(), answer["per_space"].asString()};
    }

    Json::Value Verify(const TSession& session, std::int64_t pid, const std::string& name,
                       std::int64_t size, const std::string& md5) const {
        return Call("/ent/file/upload/new/verify",
                    "&f_pid=" + std::to_string(pid) + "&f_size=" + std::to_string(size) +
                        "&space_id=" + session.strSpace + "&f_md5=" + md5 +
                        "&f_name=" + Escape(name),
                    session.Headers());
    }

    // The data request as the client makes it: the rest of the file from offset.
    Json::Value Put(const std::string& storageName, std::int64_t offset,
                    const std::string& content) const {
        httplib::Headers headers = {
            {"s_name", storageName},
            {"Range", "bytes=" + std::to_string(offset) + "-" + std::to_string(content.size())},
            {"connection", "Keep-Alive"}};
        auto result = Client().Put("/biz/ent/file/upload/put", headers, content.substr(offset),
                                   "application/octet-stream");
        if (!result) {
            ADD_FAILURE() << "put: no answer";
            return Json::Value();
        }
        return ParseJson(result->body);
    }

    Json::Value Commit(const TSession& session, std::int64_t pid, const std::string& storageName,
                       const std::string& md5, const std::string& name) const {
        return Call("/ent/file/upload/commit",
                    "&fpid=" + std::to_string(pid) + "&sname=" + storageName +
                        "&spaceid=" + session.strSpace + "&f_md5=" + md5 + "&fname=" + Escape(name),
                    session.Headers());
    }

    // The four upload requests; returns the new file's id.
    std::int64_t Upload(const TSession& session, std::int64_t pid, const std::string& name,
                        const std::string& content) const {
        std::string md5 = Md5Of(content);
        Json::Value verify =
            Verify(session, pid, name, static_cast<std::int64_t>(content.size()), md5);
        if (verify["code"].asString() == "9") {
            return verify["fid"].asInt64();
        }
        EXPECT_EQ(verify["code"].asString(), "0") << name;
        std::string storageName = verify["s_name"].asString();
        EXPECT_EQ(Put(storageName, 0, content)["code"].asString(), "0") << name;
        Json::Value commit = Commit(session, pid, storageName, md5, name);
        EXPECT_EQ(commit["code"].asString(), "0") << name;
        return commit["fid"].asInt64();
    }

    struct TDownload {
        bool bAnswered = false;
        std::string strCodeHeader;  // empty when the answer has none
        std::string strBody;
    };
    TDownload Download(const std::string& userId, std::int64_t fid, std::int64_t skip) const {
        std::string target = "/biz/ent/file/download?fids[]=" + std::to_string(fid) +
                             "&fskip=" + std::to_string(skip);
        auto result = Client().Get(target.c_str(), {{"ent_uid", userId}});
        TDownload download;
        if (result) {
            EXPECT_EQ(result->status, 200);
            download.bAnswered = true;
            download.strCodeHeader = result->get_header_value("code");
            download.strBody = result->body;
        }
        return download;
    }

    // The whole listing as the engine asks for it.
    Json::Value Listing(const TSession& session) const {
        return Call("/ent/synch/modify", "", session.Headers());
    }

    // A control request with a JSON body.
    Json::Value Admin(const std::string& path, const Json::Value& body) const {
        auto result = Client().Post(
            path.c_str(), Json::writeString(Json::StreamWriterBuilder(), body), "application/json");
        if (!result) {
            ADD_FAILURE() << path << ": no answer";
            return Json::Value();
        }
        return ParseJson(result->body);
    }
    Json::Value AdminGet(const std::string& path) const {
        auto result = Client().Get(path.c_str());
        if (!result) {
            ADD_FAILURE() << path << ": no answer";
            return Json::Value();
        }
        return ParseJson(result->body);
    }

    testing_support::TempHome m_home;
    std::unique_ptr<CRefService> m_service;
    int m_iPort = 0;
};

}  // namespace service_test
