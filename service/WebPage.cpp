#include "service/WebPage.h"

#include <algorithm>
#include <vector>

#include "service/AccountEndpoints.h"
#include "service/EntryJson.h"

namespace {

std::string Html(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

void CWebPage::Register(httplib::Server& server) {
    server.Get("/web/files", [this](const httplib::Request& request, httplib::Response& response) {
        auto account = m_accounts.WebTokenAccount(request.get_param_value("token"));
        if (!account || account->bDisabled || account->bExpired) {
            response.status = 403;
            response.set_content("<!DOCTYPE html><title>Files</title><p>This link is not valid.",
                                 "text/html; charset=utf-8");
            return;
        }
        response.set_content(Page(*account), "text/html; charset=utf-8");
    });
}

std::string CWebPage::Page(const TAccount& account) {
    std::vector<TEntry> entries = m_tree.All(account.iId);
    auto paths = EntryPaths(entries);
    std::vector<std::pair<std::string, const TEntry*>> rows;
    for (const TEntry& entry : entries) {
        auto it = paths.find(entry.iId);
        if (it != paths.end()) {
            rows.emplace_back(entry.bDir ? it->second + "/" : it->second, &entry);
        }
    }
    std::sort(rows.begin(), rows.end());
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Files of " +
                       Html(account.strName) + "</title></head><body>\n<h1>Files of " +
                       Html(account.strName) +
                       "</h1>\n<table>\n<tr><th>Name</th><th>Size</th><th>Changed</th></tr>\n";
    for (const auto& [path, entry] : rows) {
        page += "<tr><td>" + Html(path) + "</td><td>" +
                (entry->bDir ? "" : SizeText(entry->iSize)) + "</td><td>" +
                StampText(entry->iModified) + "</td></tr>\n";
    }
    page += "</table>\n</body></html>\n";
    return page;
}
