// libFuzzer target over the readers of the service's answers. The first byte picks the reader
// (and, for the listings, the size of the pieces they are also read in), the rest is the answer
// (or the value of a download's "code:" header). Any input must end in
// a result: no crash, no hang, no undefined behaviour, no unbounded allocation.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rest/AnswerReader.h"
#include "rest/AnswerSource.h"

namespace {

// The answer in pieces of one size, as a transfer might cut it.
class CPieces final : public CAnswerSource {
  public:
    CPieces(const std::string& text, std::size_t size) : m_text(text), m_iSize(size) {}
    bool Next(std::string_view& piece) override {
        if (m_iAt >= m_text.size()) {
            return false;
        }
        piece = std::string_view(m_text).substr(m_iAt, m_iSize);
        m_iAt += piece.size();
        return true;
    }

  private:
    const std::string& m_text;
    std::size_t m_iSize;
    std::size_t m_iAt = 0;
};

bool SameRecords(const std::vector<TSyncFile>& a, const std::vector<TSyncFile>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].iId != b[i].iId || a[i].iPId != b[i].iPId || a[i].strName != b[i].strName ||
            a[i].iType != b[i].iType || a[i].strFileSize != b[i].strFileSize ||
            a[i].strServerTime != b[i].strServerTime || a[i].strModifyTime != b[i].strModifyTime ||
            a[i].strMD5 != b[i].strMD5) {
            return false;
        }
    }
    return true;
}

// A listing read whole and read in pieces must give the same result and records.
void ReadListing(CAnswerReader::EListing kind, const std::string& answer, std::size_t pieceSize) {
    std::vector<TSyncFile> whole;
    int expected = CAnswerReader::Listing(answer, kind, whole);
    CPieces pieces(answer, pieceSize);
    std::vector<TSyncFile> files;
    if (CAnswerReader::Listing(pieces, kind, files) != expected || !SameRecords(files, whole)) {
        __builtin_trap();
    }
}

void ReadAs(std::uint8_t reader, const std::string& answer) {
    std::string a, b, c, d, e;
    int number = 0, flag = 0;
    std::wstring notes;
    TSyncFile file;
    switch (reader % 12) {
        case 0:
            CAnswerReader::Login(answer, a, b, c, d, e);
            break;
        case 1:
            CAnswerReader::SpaceInfo(answer, a, b);
            break;
        case 2:
            CAnswerReader::WebToken(answer, a);
            break;
        case 3:
            CAnswerReader::Version(answer, a, number, flag, notes, b);
            break;
        case 4:
            ReadListing(CAnswerReader::EListing::All, answer, 1 + reader / 12 % 16);
            break;
        case 5:
            ReadListing(CAnswerReader::EListing::OneLevel, answer, 1 + reader / 12 % 16);
            break;
        case 6:
            CAnswerReader::UploadVerify(answer, file);
            break;
        case 7:
            CAnswerReader::UploadState(answer, a);
            break;
        case 8:
            CAnswerReader::UploadCommit(answer, file);
            break;
        case 9:
            CAnswerReader::FileInfo(answer, file);
            break;
        case 10:
            CAnswerReader::MkDir(answer, file);
            break;
        default:
            CAnswerReader::DownloadCodeHeader(answer);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    ReadAs(data[0], std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    return 0;
}
