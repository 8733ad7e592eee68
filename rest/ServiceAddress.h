#pragma once
// Where the service is: the "server" setting of config.ini (section main), read when a session
// is created. Forms accepted:
//   (empty)                      127.0.0.1, port 8080, plain HTTP
//   host  or  host:port          plain HTTP; port 8080 unless one is named
//   http://host[:port]           the same
//   https://host[:port]          TLS with certificate and host name verification
// A host may be an IPv6 literal in brackets ([::1]:9000). Anything after the host and port
// (a path, a query) is ignored: every address is the host, then "/biz", then the endpoint path.

#include <string>

class CServiceAddress {
  public:
    // Reads the setting of the current config.ini.
    CServiceAddress();
    // From a setting's text; exposed for the tests of the accepted forms.
    explicit CServiceAddress(const std::string& setting);

    // Full address of an endpoint: scheme, host, port, "/biz" and the path.
    std::string Url(const std::string& path) const;

    const std::string& Host() const { return m_strHost; }
    int Port() const { return m_iPort; }
    bool IsTls() const { return m_bTls; }

  private:
    std::string m_strHost;
    int m_iPort = 8080;
    bool m_bTls = false;
};
