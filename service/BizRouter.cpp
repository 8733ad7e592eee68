#include "service/BizRouter.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "service/JsonAnswer.h"
#include "service/ServiceCodes.h"

namespace {

// Form bodies of the web API are a few hundred bytes; anything far larger is not one.
const std::size_t kLargestForm = std::size_t{1} << 20;

// Sends the first bytes of the answer and then closes the connection.
void CutAnswer(httplib::Response& response, std::string json, std::int64_t bytes) {
    auto text = std::make_shared<std::string>(std::move(json));
    auto end = static_cast<std::size_t>(std::min<std::int64_t>(bytes, text->size()));
    response.set_content_provider(
        text->size(), "application/json",
        [text, end](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset >= end) {
                return false;
            }
            return sink.write(text->data() + offset, std::min(length, end - offset));
        });
}

bool HasBody(const httplib::Request& request) {
    return request.has_header("Content-Length") || request.has_header("Transfer-Encoding");
}

void LogFailure(const std::string& endpoint, const std::exception& error) {
    std::fprintf(stderr, "refservice: %s failed: %s\n", endpoint.c_str(), error.what());
}

}  // namespace

void CBizRouter::Post(const std::string& endpoint, FormHandler handler) {
    m_server.Post(
        "/biz" + endpoint,
        [this, endpoint, handler](const httplib::Request& request, httplib::Response& response,
                                  const httplib::ContentReader& reader) {
            std::string body;
            // A request with neither length nor chunks has an empty body.
            bool whole = !HasBody(request) || reader([&body](const char* data, std::size_t size) {
                body.append(data, size);
                return body.size() <= kLargestForm;
            });
            Record(request, body);
            auto fault = m_faults.Take(endpoint);
            if (Apply(fault, response, false)) {
                return;
            }
            std::string answer;
            try {
                CFormBody form;
                answer = whole && form.Parse(body) ? handler(request, form)
                                                   : CodeAnswer(SVC_BAD_REQUEST);
            } catch (const std::exception& error) {
                LogFailure(endpoint, error);
                answer = CodeAnswer(SVC_STORAGE_FAILURE);
            }
            if (fault && fault->eKind == EFaultKind::Cut) {
                CutAnswer(response, std::move(answer), fault->iBytes);
            } else {
                AnswerJson(response, std::move(answer));
            }
        });
}

void CBizRouter::PostAsUser(const std::string& endpoint, AccountHandler handler) {
    Post(endpoint, [this, handler](const httplib::Request& request, const CFormBody& form) {
        auto identity = IdentifyRequest(m_accounts, request);
        return identity.iCode == SVC_OK ? handler(identity.account, form)
                                        : CodeAnswer(identity.iCode);
    });
}

void CBizRouter::Put(const std::string& endpoint, UploadHandler handler) {
    m_server.Put(
        "/biz" + endpoint,
        [this, endpoint, handler](const httplib::Request& request, httplib::Response& response,
                                  const httplib::ContentReader& reader) {
            std::uint64_t seq = Record(request, {});
            // The server answers only the asked bytes of an answer when the request carries a
            // Range header, but the upload's Range describes the request body. The request is
            // the server's own (non-const) object lent to the handler; forgetting its ranges
            // makes the answer go out whole.
            const_cast<httplib::Request&>(request).ranges.clear();
            auto fault = m_faults.Take(endpoint);
            if (Apply(fault, response, false)) {
                return;
            }
            bool cut = fault && fault->eKind == EFaultKind::Cut;
            httplib::ContentReader tapped(
                [this, seq, &reader](httplib::ContentReceiver receiver) {
                    return reader([&](const char* data, std::size_t size) {
                        if (m_pRecorder != nullptr) {
                            m_pRecorder->AppendBody(seq, data, size);
                        }
                        return receiver(data, size);
                    });
                },
                reader.multipart_reader_);
            std::string answer;
            try {
                answer = handler(request, tapped, cut ? fault->iBytes : kNoLimit);
            } catch (const std::exception& error) {
                LogFailure(endpoint, error);
                answer = CodeAnswer(SVC_STORAGE_FAILURE);
            }
            if (cut) {
                DropConnection(response);
            } else {
                AnswerJson(response, std::move(answer));
            }
        });
}

void CBizRouter::Get(const std::string& endpoint, DownloadHandler handler) {
    m_server.Get("/biz" + endpoint, [this, endpoint, handler](const httplib::Request& request,
                                                              httplib::Response& response) {
        Record(request, {});
        auto fault = m_faults.Take(endpoint);
        if (Apply(fault, response, true)) {
            return;
        }
        bool cut = fault && fault->eKind == EFaultKind::Cut;
        try {
            response.status = 200;
            handler(request, response, cut ? fault->iBytes : kNoLimit);
        } catch (const std::exception& error) {
            LogFailure(endpoint, error);
            response = httplib::Response();
            response.status = 200;
            response.set_header("code", std::to_string(SVC_STORAGE_FAILURE));
        }
    });
}

std::uint64_t CBizRouter::Record(const httplib::Request& request, const std::string& body) {
    if (m_pRecorder == nullptr) {
        return 0;
    }
    TRecordedRequest recorded;
    recorded.strMethod = request.method;
    recorded.strTarget = request.target;
    for (const auto& [name, value] : request.headers) {
        // The server adds these itself; the client never sent them.
        if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" &&
            name != "LOCAL_PORT") {
            recorded.headers.emplace_back(name, value);
        }
    }
    recorded.strBody = body;
    return m_pRecorder->Record(std::move(recorded));
}

bool CBizRouter::Apply(const std::optional<TFault>& fault, httplib::Response& response,
                       bool codeInHeader) {
    if (!fault) {
        return false;
    }
    switch (fault->eKind) {
        case EFaultKind::Status:
            response.status = fault->iStatus;
            response.set_content("injected fault\n", "text/plain");
            return true;
        case EFaultKind::Code:
            if (codeInHeader) {
                response.status = 200;
                response.set_header("code", std::to_string(fault->iCode));
            } else {
                AnswerJson(response, CodeAnswer(fault->iCode));
            }
            return true;
        case EFaultKind::Drop:
            DropConnection(response);
            return true;
        case EFaultKind::Delay:
            std::this_thread::sleep_for(std::chrono::milliseconds(fault->iDelayMs));
            return false;
        case EFaultKind::Cut:
            return false;
    }
    return false;
}

CAccountBook::TIdentity IdentifyRequest(CAccountBook& accounts, const httplib::Request& request) {
    return accounts.Identify(request.get_header_value("ent_uid"),
                             request.get_header_value("ent_utoken"),
                             request.get_header_value("ent_utype"));
}

bool NamesOwnSpace(const TAccount& account, const CFormBody& form, const char* parameter) {
    auto space = form.Get(parameter);
    return space && *space == account.strSpaceId;
}

void DropConnection(httplib::Response& response) {
    response.set_chunked_content_provider("application/json",
                                          [](std::size_t, httplib::DataSink&) { return false; });
}

void AnswerJson(httplib::Response& response, std::string json) {
    response.status = 200;
    response.set_content(json, "application/json");
}
