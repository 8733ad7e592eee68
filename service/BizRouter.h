#pragma once
// Registers the "/biz" endpoints on the HTTP server and gives each request the same
// treatment: it is recorded, a fault ordered for its endpoint is applied, its body is parsed,
// and an exception (a failing disk) becomes a service code instead of a crash.
//
// Handlers run on the HTTP server's worker threads.

#include <httplib.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "service/AccountBook.h"
#include "service/FaultPlan.h"
#include "service/FormBody.h"
#include "service/RequestRecorder.h"

class CBizRouter {
  public:
    // Answers the JSON text for a form post.
    using FormHandler = std::function<std::string(const httplib::Request&, const CFormBody&)>;
    // The same for the account that the identity headers name.
    using AccountHandler = std::function<std::string(const TAccount&, const CFormBody&)>;
    // Reads at most limit bytes of the body and answers the JSON text.
    using UploadHandler = std::function<std::string(
        const httplib::Request&, const httplib::ContentReader&, std::int64_t limit)>;
    // Fills the response; errors go into a "code" header. limit: bytes of content to send.
    using DownloadHandler =
        std::function<void(const httplib::Request&, httplib::Response&, std::int64_t limit)>;

    static constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();

    CBizRouter(httplib::Server& server, CAccountBook& accounts, CFaultPlan& faults,
               CRequestRecorder* recorder)
        : m_server(server), m_accounts(accounts), m_faults(faults), m_pRecorder(recorder) {}

    // endpoint is the path below "/biz", e.g. "/ent/user/login".
    void Post(const std::string& endpoint, FormHandler handler);
    // A request without a valid identity is answered its code without calling the handler.
    void PostAsUser(const std::string& endpoint, AccountHandler handler);
    void Put(const std::string& endpoint, UploadHandler handler);
    void Get(const std::string& endpoint, DownloadHandler handler);

  private:
    std::uint64_t Record(const httplib::Request& request, const std::string& body);
    // Applies a status, code or drop fault (the request is then answered: true) or sleeps
    // for a delay fault.
    static bool Apply(const std::optional<TFault>& fault, httplib::Response& response,
                      bool codeInHeader);

    httplib::Server& m_server;
    CAccountBook& m_accounts;
    CFaultPlan& m_faults;
    CRequestRecorder* m_pRecorder;  // null when requests are not recorded
};

// The identity headers ("ent_uid", "ent_utoken", "ent_utype") checked against the sessions.
CAccountBook::TIdentity IdentifyRequest(CAccountBook& accounts, const httplib::Request& request);

// Whether the body names the account's own space in the parameter; a body naming another
// space is refused like a bad identity.
bool NamesOwnSpace(const TAccount& account, const CFormBody& form, const char* parameter);

// Closes the connection after the answer's headers, before any of its body.
void DropConnection(httplib::Response& response);
void AnswerJson(httplib::Response& response, std::string json);
