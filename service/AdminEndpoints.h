#pragma once
// The control interface for tests, under "/admin", served only with --admin and only to
// loopback clients. Bodies and answers are JSON; answers carry a service "code" (and an
// "error" text when it is not 0). A malformed control request answers HTTP 400, an unknown
// account 404.
//
//   POST /admin/account        {"user", "password"?, "quota"?, "disabled"?, "expired"?}
//   GET  /admin/accounts
//   POST /admin/version        {"code"?, "newest"?, "forced"?, "notes"?, "address"?, "md5"?}
//   POST /admin/faults         {"endpoint", "kind", "count"?, "skip"?, "status"?, "code"?,
//                               "delay_ms"?, "bytes"?}
//   GET  /admin/faults         POST /admin/faults/clear
//   GET  /admin/requests       POST /admin/requests/clear
// Acting as another device of an account (items named by "path" like "a/b.txt" or by "fid"):
//   POST /admin/fs/mkdir       {"user", "path"}            missing parents are created too
//   PUT  /admin/fs/file?user=U&path=P   body: the content  creates, or replaces in place
//   POST /admin/fs/rename      {"user", "path"|"fid", "name"}
//   POST /admin/fs/move        {"user", "path"|"fid", "to" (folder path, "" the root), "name"?}
//   POST /admin/fs/delete      {"user", "path"|"fid"}     answers "removed": the MD5 of
//                                                          each file it deleted
//   GET  /admin/fs/tree?user=U           every entry with its "path"
//   GET  /admin/fs/count?user=U          "files": how many files the account holds
//   GET  /admin/fs/file?user=U&path=P    the content

#include <httplib.h>
#include <json/json.h>

#include <functional>
#include <optional>
#include <string>

#include "service/AccountBook.h"
#include "service/ContentStore.h"
#include "service/FaultPlan.h"
#include "service/FileTree.h"
#include "service/RequestRecorder.h"

class CAdminEndpoints {
  public:
    CAdminEndpoints(CAccountBook& accounts, CFileTree& tree, CContentStore& content,
                    CFaultPlan& faults, CRequestRecorder& recorder)
        : m_accounts(accounts),
          m_tree(tree),
          m_content(content),
          m_faults(faults),
          m_recorder(recorder) {}

    void Register(httplib::Server& server);

  private:
    // A control request: the JSON body (null for GET) in, the answer out.
    using Handler = std::function<Json::Value(const httplib::Request&, const Json::Value&)>;

    void Route(httplib::Server& server, const std::string& method, const std::string& path,
               Handler handler);

    Json::Value Account(const Json::Value& body);
    Json::Value Accounts();
    Json::Value Version(const Json::Value& body);
    Json::Value AddFault(const Json::Value& body);
    Json::Value Faults();
    Json::Value Requests();
    Json::Value MakeFolder(const Json::Value& body);
    Json::Value WriteFile(const httplib::Request& request, const httplib::ContentReader& reader);
    Json::Value Rename(const Json::Value& body);
    Json::Value Move(const Json::Value& body);
    Json::Value Delete(const Json::Value& body);
    Json::Value Tree(const httplib::Request& request);
    Json::Value Count(const httplib::Request& request);
    void ReadFile(const httplib::Request& request, httplib::Response& response);

    TAccount User(const std::string& name);
    // The item named by "fid" or "path" of the body.
    TEntry Item(const TAccount& account, const Json::Value& body);
    // The folder and name of a path; the folder must exist.
    std::pair<std::int64_t, std::string> Place(const TAccount& account, const std::string& path);

    CAccountBook& m_accounts;
    CFileTree& m_tree;
    CContentStore& m_content;
    CFaultPlan& m_faults;
    CRequestRecorder& m_recorder;
};
