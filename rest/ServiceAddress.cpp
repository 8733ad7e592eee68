#include "rest/ServiceAddress.h"

#include <charconv>

#include "common/GlobalSetting.h"
#include "common/Utility.h"

namespace {

constexpr int kDefaultPort = 8080;
constexpr const char* kDefaultHost = "127.0.0.1";

std::string ReadServerSetting() {
    CGlobalSetting setting;
    std::wstring value;
    setting.GetValue(L"main", L"server", value, L"config.ini");
    return WstringToString(value);
}

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A port text that is not a number from 1 to 65535 leaves the default in place.
int ParsePort(const std::string& text) {
    int port = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
        return kDefaultPort;
    }
    return port;
}

}  // namespace

CServiceAddress::CServiceAddress() : CServiceAddress(ReadServerSetting()) {}

CServiceAddress::CServiceAddress(const std::string& setting) {
    std::string rest = Trimmed(setting);
    const std::string tls = "https://";
    const std::string plain = "http://";
    if (rest.compare(0, tls.size(), tls) == 0) {
        m_bTls = true;
        rest.erase(0, tls.size());
    } else if (rest.compare(0, plain.size(), plain) == 0) {
        rest.erase(0, plain.size());
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));

    size_t hostEnd = 0;
    if (!rest.empty() && rest[0] == '[') {
        hostEnd = rest.find(']');
        hostEnd = hostEnd == std::string::npos ? rest.size() : hostEnd + 1;
    } else {
        hostEnd = rest.find(':');
        hostEnd = hostEnd == std::string::npos ? rest.size() : hostEnd;
    }
    m_strHost = rest.substr(0, hostEnd);
    if (hostEnd < rest.size() && rest[hostEnd] == ':') {
        m_iPort = ParsePort(rest.substr(hostEnd + 1));
    }
    if (m_strHost.empty()) {
        m_strHost = kDefaultHost;
    }
}

std::string CServiceAddress::Url(const std::string& path) const {
    return (m_bTls ? "https://" : "http://") + m_strHost + ":" + std::to_string(m_iPort) + "/biz" +
           path;
}
