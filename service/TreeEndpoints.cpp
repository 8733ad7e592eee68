#include "service/TreeEndpoints.h"

#include <algorithm>

#include "service/EntryJson.h"
#include "service/JsonAnswer.h"
#include "service/ServiceCodes.h"

namespace {

// Orders one folder's items for the folder listing; nullopt for an order it does not know.
std::optional<std::vector<TEntry>> Ordered(std::vector<TEntry> entries, const std::string& order,
                                           const std::string& direction) {
    auto less = [&order](const TEntry& a, const TEntry& b) {
        if (order == "name" && a.strName != b.strName) {
            return a.strName < b.strName;
        }
        if (order == "time" && a.iModified != b.iModified) {
            return a.iModified < b.iModified;
        }
        if (order == "size" && a.iSize != b.iSize) {
            return a.iSize < b.iSize;
        }
        return a.iId < b.iId;
    };
    if ((order != "name" && order != "time" && order != "size") ||
        (direction != "asc" && direction != "desc")) {
        return std::nullopt;
    }
    std::sort(entries.begin(), entries.end(), less);
    if (direction == "desc") {
        std::reverse(entries.begin(), entries.end());
    }
    return entries;
}

}  // namespace

std::string EntriesJson(const std::vector<TEntry>& entries) {
    std::string json = "[";
    json.reserve(entries.size() * 200 + 2);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            json += ',';
        }
        AppendEntryJson(json, entries[i]);
    }
    json += ']';
    return json;
}

void CTreeEndpoints::Register(CBizRouter& router) {
    using namespace std::placeholders;
    router.PostAsUser("/ent/synch/modify", std::bind(&CTreeEndpoints::ListAll, this, _1, _2));
    router.PostAsUser("/ent/file/list", std::bind(&CTreeEndpoints::ListFolder, this, _1, _2));
    router.PostAsUser("/ent/file/info", std::bind(&CTreeEndpoints::Info, this, _1, _2));
    router.PostAsUser("/ent/file/mkdir", std::bind(&CTreeEndpoints::MakeFolder, this, _1, _2));
    router.PostAsUser("/ent/file/rm", std::bind(&CTreeEndpoints::Remove, this, _1, _2));
    router.PostAsUser("/ent/file/rename", std::bind(&CTreeEndpoints::Rename, this, _1, _2));
}

std::string CTreeEndpoints::ListAll(const TAccount& account, const CFormBody&) {
    std::vector<TEntry> entries = m_tree.All(account.iId);
    return CJsonAnswer(SVC_OK)
        .Integer("total", static_cast<std::int64_t>(entries.size()))
        .Raw("files", EntriesJson(entries))
        .Finish();
}

// cursor: index of the first item to answer; offset: how many at most (0: all).
std::string CTreeEndpoints::ListFolder(const TAccount& account, const CFormBody& form) {
    auto pid = form.GetInt("fpid");
    auto cursor = form.GetInt("cursor");
    auto count = form.GetInt("offset");
    auto order = form.Get("order");
    auto direction = form.Get("desc");
    if (!NamesOwnSpace(account, form, "spid")) {
        return CodeAnswer(SVC_BAD_IDENTITY);
    }
    if (!pid || !cursor || !count || !order || !direction || *cursor < 0 || *count < 0) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    auto listing = m_tree.Children(account.iId, *pid);
    if (listing.iCode != SVC_OK) {
        return CodeAnswer(listing.iCode);
    }
    auto ordered = Ordered(std::move(listing.entries), *order, *direction);
    if (!ordered) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    auto all = static_cast<std::int64_t>(ordered->size());
    std::int64_t first = std::min(*cursor, all);
    std::int64_t last = *count == 0 ? all : std::min(all, first + *count);
    std::vector<TEntry> page(ordered->begin() + first, ordered->begin() + last);
    return CJsonAnswer(SVC_OK)
        .Integer("total", static_cast<std::int64_t>(page.size()))
        .Integer("count", all)
        .Raw("files", EntriesJson(page))
        .Finish();
}

std::string CTreeEndpoints::Info(const TAccount& account, const CFormBody& form) {
    auto id = form.GetInt("fid");
    if (!id) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    auto found = m_tree.Find(account.iId, *id);
    if (found.iCode != SVC_OK) {
        return CodeAnswer(found.iCode);
    }
    const TEntry& e = found.entry;
    return CJsonAnswer(SVC_OK)
        .Integer("fid", e.iId)
        .Integer("fpid", e.iPId)
        .Integer("pid", e.iPId)
        .Text("fname", e.strName)
        .Text("fisdir", e.bDir ? "0" : "1")
        .Integer("fsize", e.iSize)
        .Text("fmodify", StampText(e.iModified))
        .Text("fcreate", StampText(e.iCreated))
        .Text("storecode", e.strMD5)
        .Finish();
}

std::string CTreeEndpoints::MakeFolder(const TAccount& account, const CFormBody& form) {
    auto pid = form.GetInt("fpid");
    auto name = form.Get("fname");
    if (!NamesOwnSpace(account, form, "spid")) {
        return CodeAnswer(SVC_BAD_IDENTITY);
    }
    if (!pid || !name) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    TOutcome outcome = m_tree.MakeFolder(account.iId, *pid, *name);
    if (outcome.iCode != SVC_OK) {
        return CodeAnswer(outcome.iCode);
    }
    return CJsonAnswer(SVC_OK).Text("msg", std::to_string(outcome.iId)).Finish();
}

std::string CTreeEndpoints::Remove(const TAccount& account, const CFormBody& form) {
    std::vector<std::int64_t> ids;
    for (const std::string& text : form.GetAll("fids[]")) {
        auto id = ParseDecimal(text);
        if (!id) {
            return CodeAnswer(SVC_BAD_REQUEST);
        }
        ids.push_back(*id);
    }
    if (ids.empty()) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    return CodeAnswer(m_tree.Remove(account.iId, ids));
}

std::string CTreeEndpoints::Rename(const TAccount& account, const CFormBody& form) {
    auto id = form.GetInt("fid");
    auto name = form.Get("fname");
    if (!NamesOwnSpace(account, form, "spid")) {
        return CodeAnswer(SVC_BAD_IDENTITY);
    }
    if (!id || !name) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    return CodeAnswer(m_tree.Rename(account.iId, *id, *name));
}
