#pragma once
// The reference service: the web API under "/biz" with its storage, the web page, and, with
// the admin option, the control interface for tests. Owns the HTTP server and its thread.
//
// Construct, Start(), and Stop() (or destroy) from one thread; requests are served on the HTTP
// server's worker threads meanwhile.

#include <httplib.h>

#include <atomic>
#include <memory>
#include <thread>

#include "service/AccountBook.h"
#include "service/AccountEndpoints.h"
#include "service/AdminEndpoints.h"
#include "service/BizRouter.h"
#include "service/ContentStore.h"
#include "service/FaultPlan.h"
#include "service/FileTree.h"
#include "service/MetaStore.h"
#include "service/RequestRecorder.h"
#include "service/ServiceOptions.h"
#include "service/TransferEndpoints.h"
#include "service/TreeEndpoints.h"
#include "service/UploadBook.h"
#include "service/WebPage.h"

class CRefService {
  public:
    // Opens (or creates) the data folder and provides the accounts of the options. Throws
    // std::exception when the folder or its metadata cannot be used, or the account of the
    // web link is unknown.
    explicit CRefService(const TServiceOptions& options);
    ~CRefService();
    CRefService(const CRefService&) = delete;
    CRefService& operator=(const CRefService&) = delete;

    // Binds and starts serving; returns the port. Throws std::runtime_error when the address
    // cannot be bound.
    int Start();
    // Stops accepting, lets running requests end and joins the server thread.
    void Stop();
    // The address of the web page of account NAME, with a new web token, for a browser on
    // this machine; the port is the one Start() answered. Throws std::runtime_error for an
    // unknown account.
    std::string WebLink(const std::string& name, int port);

  private:
    void RegisterRoutes(int port);

    TServiceOptions m_options;
    CMetaStore m_store;
    CContentStore m_content;
    CAccountBook m_accounts;
    CFileTree m_tree;
    CUploadBook m_uploads;
    CFaultPlan m_faults;
    CRequestRecorder m_recorder;
    httplib::Server m_server;
    // Made once the port is known, before the server starts; they outlive its threads.
    std::unique_ptr<CBizRouter> m_router;
    std::unique_ptr<CAccountEndpoints> m_accountEndpoints;
    std::unique_ptr<CTreeEndpoints> m_treeEndpoints;
    std::unique_ptr<CTransferEndpoints> m_transferEndpoints;
    std::unique_ptr<CWebPage> m_webPage;
    std::unique_ptr<CAdminEndpoints> m_adminEndpoints;
    std::thread m_thread;
    std::atomic<bool> m_bListenEnded{false};
};
