#pragma once
// The account requests: login, space info, web token and version check.

#include <httplib.h>

#include <string>

#include "service/AccountBook.h"
#include "service/BizRouter.h"

class CAccountEndpoints {
  public:
    // port: where the service listens, for the web address when a request names no host.
    CAccountEndpoints(CAccountBook& accounts, int port) : m_accounts(accounts), m_iPort(port) {}

    void Register(CBizRouter& router);

    std::string Login(const CFormBody& form);
    std::string SpaceInfo(const httplib::Request& request);
    std::string WebToken(const httplib::Request& request);
    std::string Version(const CFormBody& form);

  private:
    CAccountBook& m_accounts;
    int m_iPort;
};

// "12.5 MB": bytes in the largest unit that keeps the value at 1 or more, two decimals.
std::string SizeText(std::int64_t bytes);
