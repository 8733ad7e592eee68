#include "service/TransferEndpoints.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "service/JsonAnswer.h"
#include "service/ServiceCodes.h"

namespace {

const std::size_t kDownloadPiece = std::size_t{256} << 10;

struct TRange {
    std::int64_t iOffset = 0;
    std::optional<std::int64_t> end;
};

// "bytes=4-10" (the client writes the size as the end); a missing header means from 0.
std::optional<TRange> ParseRange(const httplib::Request& request) {
    if (!request.has_header("Range")) {
        return TRange{};
    }
    std::string text = request.get_header_value("Range");
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    const std::string prefix = "bytes=";
    std::size_t dash = text.find('-');
    if (text.compare(0, prefix.size(), prefix) != 0 || dash == std::string::npos) {
        return std::nullopt;
    }
    auto offset = ParseDecimal(text.substr(prefix.size(), dash - prefix.size()));
    std::string endText = text.substr(dash + 1);
    auto end = endText.empty() ? std::nullopt : ParseDecimal(endText);
    if (!offset || *offset < 0 || (!endText.empty() && !end)) {
        return std::nullopt;
    }
    return TRange{*offset, end};
}

void AnswerCodeHeader(httplib::Response& response, int code) {
    response.status = 200;
    response.set_header("code", std::to_string(code));
}

}  // namespace

void CTransferEndpoints::Register(CBizRouter& router) {
    using namespace std::placeholders;
    router.PostAsUser("/ent/file/upload/new/verify",
                      std::bind(&CTransferEndpoints::Verify, this, _1, _2));
    router.PostAsUser("/ent/file/upload/state",
                      std::bind(&CTransferEndpoints::State, this, _1, _2));
    router.PostAsUser("/ent/file/upload/commit",
                      std::bind(&CTransferEndpoints::Commit, this, _1, _2));
    router.Put("/ent/file/upload/put",
               [this](const httplib::Request& request, const httplib::ContentReader& reader,
                      std::int64_t limit) { return Put(request, reader, limit); });
    router.Get("/ent/file/download",
               [this](const httplib::Request& request, httplib::Response& response,
                      std::int64_t limit) { Download(request, response, limit); });
}

std::string CTransferEndpoints::Verify(const TAccount& account, const CFormBody& form) {
    auto pid = form.GetInt("f_pid");
    auto size = form.GetInt("f_size");
    auto md5 = form.Get("f_md5");
    auto name = form.Get("f_name");
    if (!NamesOwnSpace(account, form, "space_id")) {
        return CodeAnswer(SVC_BAD_IDENTITY);
    }
    if (!pid || !size || !md5 || !name) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    auto verify = m_uploads.Verify(account, *pid, *size, *md5, *name);
    if (verify.iCode == SVC_CONTENT_HELD) {
        return CJsonAnswer(verify.iCode).Integer("fid", verify.iFileId).Finish();
    }
    if (verify.iCode != SVC_OK) {
        return CodeAnswer(verify.iCode);
    }
    return CJsonAnswer(SVC_OK).Text("s_name", verify.strStorageName).Finish();
}

std::string CTransferEndpoints::State(const TAccount& account, const CFormBody& form) {
    auto storageName = form.Get("s_name");
    if (!storageName) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    auto state = m_uploads.State(account, *storageName);
    if (state.iCode != SVC_OK) {
        return CodeAnswer(state.iCode);
    }
    return CJsonAnswer(SVC_OK).Integer("skip", state.iHeld).Finish();
}

std::string CTransferEndpoints::Put(const httplib::Request& request,
                                    const httplib::ContentReader& reader, std::int64_t limit) {
    auto range = ParseRange(request);
    std::optional<std::int64_t> length;
    if (request.has_header("Content-Length")) {
        length = ParseDecimal(request.get_header_value("Content-Length"));
        if (!length) {
            return CodeAnswer(SVC_BAD_REQUEST);
        }
    }
    if (!request.has_header("s_name") || !range) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    auto [code, put] =
        m_uploads.BeginPut(request.get_header_value("s_name"), range->iOffset, range->end, length);
    if (code != SVC_OK || !put) {
        return CodeAnswer(code);
    }
    std::int64_t received = 0;
    bool whole = reader([&](const char* data, std::size_t size) {
        auto take = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(size), limit - received));
        if (take > 0 && !put->Append(data, take)) {
            return false;
        }
        received += static_cast<std::int64_t>(take);
        return take == size;
    });
    return CodeAnswer(put->Finish(whole && (!length || received == *length)));
}

std::string CTransferEndpoints::Commit(const TAccount& account, const CFormBody& form) {
    auto pid = form.GetInt("fpid");
    auto storageName = form.Get("sname");
    auto md5 = form.Get("f_md5");
    auto name = form.Get("fname");
    if (!NamesOwnSpace(account, form, "spaceid")) {
        return CodeAnswer(SVC_BAD_IDENTITY);
    }
    if (!pid || !storageName || !md5 || !name) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    TOutcome outcome = m_uploads.Commit(account, *storageName, *pid, *md5, *name);
    if (outcome.iCode != SVC_OK) {
        return CodeAnswer(outcome.iCode);
    }
    return CJsonAnswer(SVC_OK).Integer("fid", outcome.iId).Finish();
}

void CTransferEndpoints::Download(const httplib::Request& request, httplib::Response& response,
                                  std::int64_t limit) {
    auto identity = m_accounts.IdentifyUser(request.get_header_value("ent_uid"));
    if (identity.iCode != SVC_OK) {
        return AnswerCodeHeader(response, identity.iCode);
    }
    CFormBody query;
    std::size_t mark = request.target.find('?');
    bool parsed =
        query.Parse(mark == std::string::npos ? std::string_view()
                                              : std::string_view(request.target).substr(mark + 1));
    auto ids = query.GetAll("fids[]");
    auto skip = query.GetInt("fskip");
    auto id = ids.size() == 1 ? ParseDecimal(ids[0]) : std::nullopt;
    if (!parsed || !id || !skip || *skip < 0) {
        return AnswerCodeHeader(response, SVC_BAD_REQUEST);
    }
    auto found = m_tree.Find(identity.account.iId, *id);
    if (found.iCode != SVC_OK) {
        return AnswerCodeHeader(response, found.iCode);
    }
    const TEntry& entry = found.entry;
    if (entry.bDir) {
        return AnswerCodeHeader(response, SVC_NOT_A_FOLDER);
    }
    // A local part longer than the content cannot belong to it; answering "not found" makes
    // the client drop that part and fetch the file anew.
    if (*skip > entry.iSize) {
        return AnswerCodeHeader(response, SVC_NOT_FOUND);
    }
    std::shared_ptr<std::FILE> file(
        std::fopen(m_content.ObjectPath(entry.iAccount, entry.strMD5, entry.iSize).c_str(), "rb"),
        [](std::FILE* f) {
            if (f != nullptr) {
                std::fclose(f);
            }
        });
    if (!file || fseeko(file.get(), *skip, SEEK_SET) != 0) {
        return AnswerCodeHeader(response, SVC_STORAGE_FAILURE);
    }
    auto length = static_cast<std::size_t>(entry.iSize - *skip);
    if (length == 0) {
        response.set_content("", "application/octet-stream");
        return;
    }
    auto send = static_cast<std::size_t>(std::min<std::int64_t>(limit, entry.iSize - *skip));
    auto buffer = std::make_shared<std::vector<char>>(kDownloadPiece);
    response.set_content_provider(
        length, "application/octet-stream",
        [file, buffer, send](std::size_t offset, std::size_t wanted, httplib::DataSink& sink) {
            if (offset >= send) {
                return false;
            }
            std::size_t piece = std::min({wanted, buffer->size(), send - offset});
            std::size_t got = std::fread(buffer->data(), 1, piece, file.get());
            return got > 0 && sink.write(buffer->data(), got);
        });
}
