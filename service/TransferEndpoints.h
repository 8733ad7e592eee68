#pragma once
// The requests that move content: the four upload steps and the download.

#include <httplib.h>

#include <string>

#include "service/AccountBook.h"
#include "service/BizRouter.h"
#include "service/ContentStore.h"
#include "service/FileTree.h"
#include "service/UploadBook.h"

class CTransferEndpoints {
  public:
    CTransferEndpoints(CAccountBook& accounts, CFileTree& tree, CUploadBook& uploads,
                       CContentStore& content)
        : m_accounts(accounts), m_tree(tree), m_uploads(uploads), m_content(content) {}

    void Register(CBizRouter& router);

    std::string Verify(const TAccount& account, const CFormBody& form);
    std::string State(const TAccount& account, const CFormBody& form);
    std::string Put(const httplib::Request& request, const httplib::ContentReader& reader,
                    std::int64_t limit);
    std::string Commit(const TAccount& account, const CFormBody& form);
    // The content of "fids[]" from "fskip" on; a refusal is a "code" header on an empty
    // answer with status 200, since the client fails on any status of 400 or more without
    // reading the answer.
    void Download(const httplib::Request& request, httplib::Response& response, std::int64_t limit);

  private:
    CAccountBook& m_accounts;
    CFileTree& m_tree;
    CUploadBook& m_uploads;
    CContentStore& m_content;
};
