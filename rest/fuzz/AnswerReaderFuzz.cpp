// libFuzzer target over the readers of the service's answers. The first byte picks the reader,
// the rest is the answer (or the value of a download's "code:" header). Any input must end in
// a result: no crash, no hang, no undefined behaviour, no unbounded allocation.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rest/AnswerReader.h"

namespace {

void ReadAs(std::uint8_t reader, const std::string& answer) {
    std::string a, b, c, d, e;
    int number = 0, flag = 0;
    std::wstring notes;
    std::vector<TSyncFile> files;
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
            CAnswerReader::Listing(answer, CAnswerReader::EListing::All, files);
            break;
        case 5:
            CAnswerReader::Listing(answer, CAnswerReader::EListing::OneLevel, files);
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
