#include "service/BlockWriter.h"

namespace {

const std::size_t kBlock = std::size_t{1} << 20;
const std::size_t kBlocksInFlight = 3;

}  // namespace

CBlockWriter::CBlockWriter(const std::filesystem::path& file, std::optional<CMd5Stream> md5)
    : m_pFile(std::fopen(file.c_str(), "ab")), m_md5(std::move(md5)) {
    m_bFailed = m_pFile == nullptr;
    if (m_pFile != nullptr) {
        // The worker writes whole blocks; the stream's own buffer would only copy them again.
        std::setvbuf(m_pFile, nullptr, _IONBF, 0);
    }
    m_current.reserve(kBlock);
    m_thread = std::thread([this] { Run(); });
}

CBlockWriter::~CBlockWriter() {
    Finish();
}

bool CBlockWriter::Write(const char* data, std::size_t size) {
    while (size > 0) {
        std::size_t piece = std::min(size, kBlock - m_current.size());
        m_current.insert(m_current.end(), data, data + piece);
        data += piece;
        size -= piece;
        if (m_current.size() == kBlock) {
            HandOver();
        }
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    return !m_bFailed;
}

bool CBlockWriter::Finish() {
    if (!m_bFinished) {
        m_bFinished = true;
        if (!m_current.empty()) {
            HandOver();
        }
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_bClosing = true;
        }
        m_changed.notify_all();
        m_thread.join();
        if (m_pFile != nullptr && std::fclose(m_pFile) != 0) {
            m_bFailed = true;
        }
        m_pFile = nullptr;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    return !m_bFailed;
}

void CBlockWriter::HandOver() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_iInFlight < kBlocksInFlight; });
    m_full.push_back(std::move(m_current));
    ++m_iInFlight;
    m_current = std::vector<char>();
    if (!m_spare.empty()) {
        m_current = std::move(m_spare.back());
        m_spare.pop_back();
    }
    lock.unlock();
    m_changed.notify_all();
    m_current.clear();
    m_current.reserve(kBlock);
}

void CBlockWriter::Run() {
    for (;;) {
        std::vector<char> block;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_full.empty() || m_bClosing; });
            if (m_full.empty()) {
                return;
            }
            block = std::move(m_full.front());
            m_full.pop_front();
        }
        bool written = m_pFile != nullptr &&
                       std::fwrite(block.data(), 1, block.size(), m_pFile) == block.size();
        if (m_md5) {
            m_md5->Update(block.data(), block.size());
        }
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_bFailed = m_bFailed || !written;
            --m_iInFlight;
            m_spare.push_back(std::move(block));
        }
        m_changed.notify_all();
    }
}
