#include "service/RefService.h"

#include "platform/ListenSocket.h"

#include <stdexcept>

namespace {

// Threads for requests. A client keeps its connection (and so a thread) between requests;
// several clients and tests run at once.
const std::size_t kRequestThreads = 32;
// Long enough for a client that pauses a transfer for a while; a stop waits at most this long
// for a request stuck on a silent connection.
const time_t kIoTimeoutSeconds = 30;

std::filesystem::path MetaFile(const std::filesystem::path& dataDir) {
    std::filesystem::create_directories(dataDir);
    return dataDir / "meta.db";
}

}  // namespace

CRefService::CRefService(const TServiceOptions& options)
    : m_options(options),
      m_store(MetaFile(options.dataDir)),
      m_content(options.dataDir),
      m_accounts(m_store),
      m_tree(m_store, m_content),
      m_uploads(m_store, m_content, m_tree) {
    for (const auto& [name, password] : options.users) {
        m_accounts.Provide(name, password, options.quota);
    }
    if (!options.strWebLink.empty() && !m_accounts.Find(options.strWebLink)) {
        throw std::runtime_error("no account " + options.strWebLink);
    }
    m_server.new_task_queue = [] { return new httplib::ThreadPool(kRequestThreads); };
    m_server.set_socket_options(plat::SetExclusiveListenOptions);
    m_server.set_keep_alive_max_count(1000);
    // An answer goes out in two writes (head, then body); with Nagle's algorithm the second
    // waits for the client's delayed acknowledgement, 40 ms per request on a kept connection.
    m_server.set_tcp_nodelay(true);
    // A stop waits this long for a client's idle kept connection to be given up.
    m_server.set_keep_alive_timeout(1);
    m_server.set_read_timeout(kIoTimeoutSeconds);
    m_server.set_write_timeout(kIoTimeoutSeconds);
    m_server.set_payload_max_length(std::size_t{1} << 33);
}

CRefService::~CRefService() {
    Stop();
}

int CRefService::Start() {
    int port = m_options.iPort;
    if (port == 0) {
        port = m_server.bind_to_any_port(m_options.strHost);
    } else if (!m_server.bind_to_port(m_options.strHost, port)) {
        port = -1;
    }
    if (port < 0) {
        throw std::runtime_error("cannot listen on " + m_options.strHost + ":" +
                                 std::to_string(m_options.iPort));
    }
    RegisterRoutes(port);
    m_thread = std::thread([this] {
        m_server.listen_after_bind();
        m_bListenEnded = true;
    });
    // A stop before the server loop runs would not reach it and the join would wait forever.
    while (!m_server.is_running() && !m_bListenEnded) {
        std::this_thread::yield();
    }
    return port;
}

void CRefService::Stop() {
    if (m_thread.joinable()) {
        m_server.stop();
        m_thread.join();
    }
}

std::string CRefService::WebLink(const std::string& name, int port) {
    auto account = m_accounts.Find(name);
    if (!account) {
        throw std::runtime_error("no account " + name);
    }
    // A service that listens on every address is reached on loopback from this machine.
    std::string host = m_options.strHost;
    if (host == "0.0.0.0" || host == "::") {
        host = "127.0.0.1";
    } else if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    return "http://" + host + ":" + std::to_string(port) +
           "/web/files?token=" + m_accounts.NewWebToken(account->iId);
}

void CRefService::RegisterRoutes(int port) {
    m_router = std::make_unique<CBizRouter>(m_server, m_accounts, m_faults,
                                            m_options.bAdmin ? &m_recorder : nullptr);
    m_accountEndpoints = std::make_unique<CAccountEndpoints>(m_accounts, port);
    m_accountEndpoints->Register(*m_router);
    m_treeEndpoints = std::make_unique<CTreeEndpoints>(m_tree);
    m_treeEndpoints->Register(*m_router);
    m_transferEndpoints =
        std::make_unique<CTransferEndpoints>(m_accounts, m_tree, m_uploads, m_content);
    m_transferEndpoints->Register(*m_router);
    m_webPage = std::make_unique<CWebPage>(m_accounts, m_tree);
    m_webPage->Register(m_server);
    if (m_options.bAdmin) {
        m_adminEndpoints =
            std::make_unique<CAdminEndpoints>(m_accounts, m_tree, m_content, m_faults, m_recorder);
        m_adminEndpoints->Register(m_server);
    }
}
