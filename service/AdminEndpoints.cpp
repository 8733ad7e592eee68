#include "service/AdminEndpoints.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "service/EntryJson.h"
#include "service/EntryName.h"
#include "service/ServiceCodes.h"
#include "service/ServiceCrypto.h"

namespace {

// Thrown by a handler for a request it cannot serve; becomes the HTTP status.
struct TRefusal {
    int iStatus;
    std::string strWhy;
};

bool FromLoopback(const httplib::Request& request) {
    return request.remote_addr.rfind("127.", 0) == 0 || request.remote_addr == "::1" ||
           request.remote_addr == "::ffff:127.0.0.1";
}

Json::Value Answer(int code) {
    Json::Value answer;
    answer["code"] = std::to_string(code);
    if (code != SVC_OK) {
        answer["error"] = "refused with service code " + std::to_string(code);
    }
    return answer;
}

void Send(httplib::Response& response, int status, const Json::Value& answer) {
    response.status = status;
    response.set_content(Json::writeString(Json::StreamWriterBuilder(), answer),
                         "application/json");
}

Json::Value EntryValue(const TEntry& entry, const std::string& path) {
    Json::Value value;
    value["fid"] = Json::Int64(entry.iId);
    value["fpid"] = Json::Int64(entry.iPId);
    value["name"] = entry.strName;
    value["path"] = path;
    value["isdir"] = entry.bDir;
    value["size"] = Json::Int64(entry.iSize);
    value["md5"] = entry.strMD5;
    value["fmodify"] = StampText(entry.iModified);
    return value;
}

// Runs a control request: refuses clients from elsewhere than this machine, and turns refusals
// and failures into answers.
void Serve(const httplib::Request& request, httplib::Response& response,
           const std::function<void()>& work) {
    if (!FromLoopback(request)) {
        Send(response, 403, Answer(SVC_BAD_IDENTITY));
        return;
    }
    try {
        work();
    } catch (const TRefusal& refusal) {
        Json::Value answer = Answer(SVC_BAD_REQUEST);
        answer["error"] = refusal.strWhy;
        Send(response, refusal.iStatus, answer);
    } catch (const std::exception& error) {
        Json::Value answer = Answer(SVC_STORAGE_FAILURE);
        answer["error"] = error.what();
        Send(response, 500, answer);
    }
}

Json::Value AccountValue(const TAccount& account) {
    Json::Value value;
    value["user"] = account.strName;
    value["uid"] = std::to_string(account.iId);
    value["space"] = account.strSpaceId;
    value["quota"] = Json::Int64(account.iQuota);
    value["disabled"] = account.bDisabled;
    value["expired"] = account.bExpired;
    return value;
}

}  // namespace

void CAdminEndpoints::Register(httplib::Server& server) {
    auto bodyOnly = [this](Json::Value (CAdminEndpoints::*operation)(const Json::Value&)) {
        return [this, operation](const httplib::Request&, const Json::Value& body) {
            return (this->*operation)(body);
        };
    };
    auto none = [this](std::function<Json::Value()> operation) {
        return [operation](const httplib::Request&, const Json::Value&) { return operation(); };
    };
    Route(server, "POST", "/admin/account", bodyOnly(&CAdminEndpoints::Account));
    Route(server, "GET", "/admin/accounts", none([this] { return Accounts(); }));
    Route(server, "POST", "/admin/version", bodyOnly(&CAdminEndpoints::Version));
    Route(server, "POST", "/admin/faults", bodyOnly(&CAdminEndpoints::AddFault));
    Route(server, "GET", "/admin/faults", none([this] { return Faults(); }));
    Route(server, "POST", "/admin/faults/clear", none([this] {
              m_faults.Clear();
              return Answer(SVC_OK);
          }));
    Route(server, "GET", "/admin/requests", none([this] { return Requests(); }));
    Route(server, "POST", "/admin/requests/clear", none([this] {
              m_recorder.Clear();
              return Answer(SVC_OK);
          }));
    Route(server, "POST", "/admin/fs/mkdir", bodyOnly(&CAdminEndpoints::MakeFolder));
    Route(server, "POST", "/admin/fs/rename", bodyOnly(&CAdminEndpoints::Rename));
    Route(server, "POST", "/admin/fs/move", bodyOnly(&CAdminEndpoints::Move));
    Route(server, "POST", "/admin/fs/delete", bodyOnly(&CAdminEndpoints::Delete));
    Route(server, "GET", "/admin/fs/tree",
          [this](const httplib::Request& request, const Json::Value&) { return Tree(request); });
    Route(server, "GET", "/admin/fs/count",
          [this](const httplib::Request& request, const Json::Value&) { return Count(request); });
    server.Put(
        "/admin/fs/file", [this](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& reader) {
            Serve(request, response, [&] { Send(response, 200, WriteFile(request, reader)); });
        });
    server.Get("/admin/fs/file",
               [this](const httplib::Request& request, httplib::Response& response) {
                   Serve(request, response, [&] { ReadFile(request, response); });
               });
}

void CAdminEndpoints::Route(httplib::Server& server, const std::string& method,
                            const std::string& path, Handler handler) {
    auto serve = [handler](const httplib::Request& request, httplib::Response& response) {
        Serve(request, response, [&] {
            Json::Value body;
            std::istringstream in(request.body);
            if (request.method == "POST" &&
                (!Json::parseFromStream(Json::CharReaderBuilder(), in, &body, nullptr) ||
                 !body.isObject())) {
                throw TRefusal{400, "the body is not a JSON object"};
            }
            Send(response, 200, handler(request, body));
        });
    };
    if (method == "GET") {
        server.Get(path, serve);
    } else {
        server.Post(path, serve);
    }
}

Json::Value CAdminEndpoints::Account(const Json::Value& body) {
    std::string name = body.get("user", "").asString();
    if (name.empty() || name.find(':') != std::string::npos) {
        throw TRefusal{400, "\"user\" must name an account"};
    }
    std::optional<TAccount> account = m_accounts.Find(name);
    if (body.isMember("password")) {
        account = m_accounts.Provide(name, body["password"].asString(), std::nullopt);
    } else if (!account) {
        throw TRefusal{404, "no account " + name + " (give a password to create it)"};
    }
    account->iQuota = body.get("quota", Json::Int64(account->iQuota)).asInt64();
    account->bDisabled = body.get("disabled", account->bDisabled).asBool();
    account->bExpired = body.get("expired", account->bExpired).asBool();
    m_accounts.Update(*account);
    Json::Value answer = Answer(SVC_OK);
    answer["account"] = AccountValue(*account);
    return answer;
}

Json::Value CAdminEndpoints::Accounts() {
    Json::Value answer = Answer(SVC_OK);
    answer["accounts"] = Json::arrayValue;
    for (const TAccount& account : m_accounts.All()) {
        answer["accounts"].append(AccountValue(account));
    }
    return answer;
}

Json::Value CAdminEndpoints::Version(const Json::Value& body) {
    m_accounts.SetVersionAnswer(VersionAnswerFromJson(body));
    return Answer(SVC_OK);
}

Json::Value CAdminEndpoints::AddFault(const Json::Value& body) {
    TFault fault;
    auto kind = FaultKindFromText(body.get("kind", "").asString());
    fault.strEndpoint = body.get("endpoint", "").asString();
    if (!kind || fault.strEndpoint.empty()) {
        throw TRefusal{400,
                       "a fault needs \"endpoint\" and \"kind\" "
                       "(status, code, drop, delay, cut)"};
    }
    fault.eKind = *kind;
    fault.iCount = body.get("count", 1).asInt();
    fault.iSkip = body.get("skip", 0).asInt();
    fault.iStatus = body.get("status", 500).asInt();
    fault.iCode = body.get("code", 1).asInt();
    fault.iDelayMs = body.get("delay_ms", 0).asInt();
    fault.iBytes = body.get("bytes", 0).asInt64();
    if (fault.iCount < 1 || fault.iSkip < 0 || fault.iDelayMs < 0 || fault.iBytes < 0 ||
        fault.iStatus < 100 || fault.iStatus > 599) {
        throw TRefusal{400, "count, skip, status, delay_ms or bytes out of range"};
    }
    m_faults.Add(fault);
    return Answer(SVC_OK);
}

Json::Value CAdminEndpoints::Faults() {
    static const char* const kinds[] = {"status", "code", "drop", "delay", "cut"};
    Json::Value answer = Answer(SVC_OK);
    answer["faults"] = Json::arrayValue;
    for (const TFault& fault : m_faults.Pending()) {
        Json::Value value;
        value["endpoint"] = fault.strEndpoint;
        value["kind"] = kinds[static_cast<int>(fault.eKind)];
        value["count"] = fault.iCount;
        value["skip"] = fault.iSkip;
        answer["faults"].append(value);
    }
    return answer;
}

Json::Value CAdminEndpoints::Requests() {
    Json::Value answer = Answer(SVC_OK);
    answer["requests"] = Json::arrayValue;
    for (const TRecordedRequest& request : m_recorder.Requests()) {
        Json::Value value;
        value["seq"] = Json::UInt64(request.iSeq);
        value["method"] = request.strMethod;
        value["target"] = request.strTarget;
        value["headers"] = Json::arrayValue;
        for (const auto& [name, text] : request.headers) {
            Json::Value header(Json::arrayValue);
            header.append(name);
            header.append(text);
            value["headers"].append(header);
        }
        value["body_base64"] = Base64Encode(request.strBody);
        value["body_size"] = Json::Int64(request.iBodySize);
        answer["requests"].append(value);
    }
    return answer;
}

Json::Value CAdminEndpoints::MakeFolder(const Json::Value& body) {
    TAccount account = User(body.get("user", "").asString());
    std::string path = body.get("path", "").asString();
    TOutcome outcome;
    std::size_t start = 0;
    while (outcome.iCode == SVC_OK && start < path.size()) {
        std::size_t slash = path.find('/', start);
        std::string name = path.substr(start, slash - start);
        outcome = m_tree.MakeFolder(account.iId, outcome.iId, name);
        start = slash == std::string::npos ? path.size() : slash + 1;
    }
    if (path.empty()) {
        throw TRefusal{400, "\"path\" names no folder"};
    }
    Json::Value answer = Answer(outcome.iCode);
    answer["fid"] = Json::Int64(outcome.iId);
    return answer;
}

Json::Value CAdminEndpoints::WriteFile(const httplib::Request& request,
                                       const httplib::ContentReader& reader) {
    TAccount account = User(request.get_param_value("user"));
    auto [pid, name] = Place(account, request.get_param_value("path"));
    std::filesystem::path incoming = m_content.IncomingPath();
    CMd5Stream md5;
    std::int64_t size = 0;
    {
        std::ofstream out(incoming, std::ios::binary);
        reader([&](const char* data, std::size_t length) {
            out.write(data, static_cast<std::streamsize>(length));
            md5.Update(data, length);
            size += static_cast<std::int64_t>(length);
            return static_cast<bool>(out);
        });
        out.close();
        if (!out) {
            std::filesystem::remove(incoming);
            throw std::runtime_error("cannot write " + incoming.string());
        }
    }
    TOutcome outcome = m_tree.Write(account.iId, pid, name, incoming, size, md5.HexDigest());
    std::error_code ec;
    std::filesystem::remove(incoming, ec);
    Json::Value answer = Answer(outcome.iCode);
    answer["fid"] = Json::Int64(outcome.iId);
    answer["md5"] = md5.HexDigest();
    return answer;
}

Json::Value CAdminEndpoints::Rename(const Json::Value& body) {
    TAccount account = User(body.get("user", "").asString());
    TEntry item = Item(account, body);
    return Answer(m_tree.Rename(account.iId, item.iId, body.get("name", "").asString()));
}

Json::Value CAdminEndpoints::Move(const Json::Value& body) {
    TAccount account = User(body.get("user", "").asString());
    TEntry item = Item(account, body);
    auto target = m_tree.Resolve(account.iId, body.get("to", "").asString());
    if (target.iCode != SVC_OK || !target.entry.bDir) {
        return Answer(target.iCode != SVC_OK ? target.iCode : SVC_NOT_A_FOLDER);
    }
    std::string name = body.get("name", item.strName).asString();
    return Answer(m_tree.Move(account.iId, item.iId, target.entry.iId, name));
}

Json::Value CAdminEndpoints::Delete(const Json::Value& body) {
    TAccount account = User(body.get("user", "").asString());
    TEntry item = Item(account, body);
    std::vector<TEntry> removed;
    Json::Value answer = Answer(m_tree.Remove(account.iId, {item.iId}, &removed));
    // What went is known only here: a client may have added to the folder since the caller
    // last looked.
    answer["removed"] = Json::arrayValue;
    for (const TEntry& entry : removed) {
        if (!entry.bDir) {
            answer["removed"].append(entry.strMD5);
        }
    }
    return answer;
}

Json::Value CAdminEndpoints::Tree(const httplib::Request& request) {
    TAccount account = User(request.get_param_value("user"));
    std::vector<TEntry> entries = m_tree.All(account.iId);
    auto paths = EntryPaths(entries);
    Json::Value answer = Answer(SVC_OK);
    answer["entries"] = Json::arrayValue;
    for (const TEntry& entry : entries) {
        answer["entries"].append(EntryValue(entry, paths[entry.iId]));
    }
    return answer;
}

Json::Value CAdminEndpoints::Count(const httplib::Request& request) {
    Json::Value answer = Answer(SVC_OK);
    answer["files"] = Json::Int64(m_tree.FileCount(User(request.get_param_value("user")).iId));
    return answer;
}

void CAdminEndpoints::ReadFile(const httplib::Request& request, httplib::Response& response) {
    TAccount account = User(request.get_param_value("user"));
    Json::Value body;
    body["path"] = request.get_param_value("path");
    TEntry item = Item(account, body);
    if (item.bDir) {
        throw TRefusal{400, "not a file"};
    }
    std::ifstream in(m_content.ObjectPath(account.iId, item.strMD5, item.iSize), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in) {
        throw std::runtime_error("the content of " + item.strName + " cannot be read");
    }
    response.set_content(content.str(), "application/octet-stream");
}

TAccount CAdminEndpoints::User(const std::string& name) {
    auto account = m_accounts.Find(name);
    if (!account) {
        throw TRefusal{404, "no account \"" + name + "\""};
    }
    return *account;
}

TEntry CAdminEndpoints::Item(const TAccount& account, const Json::Value& body) {
    CFileTree::TLookup lookup;
    if (body.isMember("fid")) {
        lookup = m_tree.Find(account.iId, body["fid"].asInt64());
    } else if (!body.get("path", "").asString().empty()) {
        lookup = m_tree.Resolve(account.iId, body["path"].asString());
    } else {
        throw TRefusal{400, "name the item by \"fid\" or \"path\""};
    }
    if (lookup.iCode != SVC_OK) {
        throw TRefusal{404, "no such item"};
    }
    return lookup.entry;
}

std::pair<std::int64_t, std::string> CAdminEndpoints::Place(const TAccount& account,
                                                            const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto parent = m_tree.Resolve(account.iId, folder);
    if (parent.iCode != SVC_OK || !parent.entry.bDir) {
        throw TRefusal{404, "no folder \"" + folder + "\""};
    }
    if (!IsValidEntryName(name)) {
        throw TRefusal{400, "not a valid name: \"" + name + "\""};
    }
    return {parent.entry.iId, name};
}
