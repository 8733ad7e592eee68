#include "service/AccountEndpoints.h"

#include <cctype>
#include <cstdio>

#include "service/JsonAnswer.h"
#include "service/ServiceCodes.h"

namespace {

// The address of the web page is built from the Host header; only a plain host[:port] is
// taken, so a request cannot make the service hand out an address of its choosing.
bool IsPlainHost(const std::string& host) {
    if (host.empty() || host.size() > 255) {
        return false;
    }
    for (char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' &&
            c != '[' && c != ']') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string SizeText(std::int64_t bytes) {
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    } else {
        std::snprintf(text, sizeof text, "%.2f %s", value, units[unit]);
    }
    return text;
}

void CAccountEndpoints::Register(CBizRouter& router) {
    router.Post("/ent/user/login",
                [this](const httplib::Request&, const CFormBody& form) { return Login(form); });
    router.Post("/ent/user/Info", [this](const httplib::Request& request, const CFormBody&) {
        return SpaceInfo(request);
    });
    router.Post("/ent/user/getwebtoken", [this](const httplib::Request& request, const CFormBody&) {
        return WebToken(request);
    });
    router.Post("/ent/version/check",
                [this](const httplib::Request&, const CFormBody& form) { return Version(form); });
}

std::string CAccountEndpoints::Login(const CFormBody& form) {
    auto name = form.Get("usr_account");
    auto password = form.Get("usr_pwd");
    if (!name || !password) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    auto login = m_accounts.Login(*name, *password);
    if (login.iCode != SVC_OK) {
        return CodeAnswer(login.iCode);
    }
    return CJsonAnswer(SVC_OK)
        .Text("ent_uid", std::to_string(login.account.iId))
        .Text("ent_utype", login.account.strUserType)
        .Text("ent_utoken", login.strToken)
        .Text("entjpush", login.account.strPushId)
        .Text("per_space", login.account.strSpaceId)
        .Finish();
}

std::string CAccountEndpoints::SpaceInfo(const httplib::Request& request) {
    auto identity = IdentifyRequest(m_accounts, request);
    if (identity.iCode != SVC_OK) {
        return CodeAnswer(identity.iCode);
    }
    std::int64_t used = m_accounts.UsedBytes(identity.account.iId);
    std::int64_t quota = identity.account.iQuota;
    return CJsonAnswer(SVC_OK)
        .Text("usrusedsizestr", SizeText(used))
        .Text("usrtotalsizestr", quota < 0 ? "unlimited" : SizeText(quota))
        .Integer("usrusedsize", used)
        .Integer("usrtotalsize", quota)
        .Finish();
}

std::string CAccountEndpoints::WebToken(const httplib::Request& request) {
    auto identity = IdentifyRequest(m_accounts, request);
    if (identity.iCode != SVC_OK) {
        return CodeAnswer(identity.iCode);
    }
    std::string host = request.get_header_value("Host");
    if (!IsPlainHost(host)) {
        host = "127.0.0.1:" + std::to_string(m_iPort);
    }
    std::string token = m_accounts.NewWebToken(identity.account.iId);
    return CJsonAnswer(SVC_OK)
        .Text("ent_utype", "http://" + host + "/web/files?token=" + token)
        .Finish();
}

std::string CAccountEndpoints::Version(const CFormBody& form) {
    auto version = form.GetInt("version");
    if (!version) {
        return CodeAnswer(SVC_BAD_REQUEST);
    }
    TVersionAnswer answer = m_accounts.VersionAnswer();
    if (answer.iCode != SVC_OK) {
        return CodeAnswer(answer.iCode);
    }
    std::int64_t newest = answer.iNewest != 0 ? answer.iNewest : *version;
    return CJsonAnswer(SVC_OK)
        .Text("vaddress", answer.strAddress)
        .Text("vnum", std::to_string(newest))
        .Text("isupdate", std::to_string(answer.iForced))
        .Text("vcontext", answer.strNotes)
        .Text("vmd5", answer.strMD5)
        .Finish();
}
