#include "rest/AnswerReader.h"

#include <cstdio>
#include <utility>

#include "common/Utility.h"
#include "rest/JsonAnswer.h"
#include "rest/ListingReader.h"
#include "rest/RestResult.h"

namespace {

// Parses the answer and evaluates its code; outputs may be read when it returns 0.
int Evaluate(CJsonAnswer& json, const std::string& answer, int base = REST_SERVICE_BASE) {
    if (!json.Parse(answer)) {
        return REST_BAD_ANSWER;
    }
    return json.Result(base);
}

std::wstring WideText(const Json::Value& object, const char* key) {
    std::wstring wide;
    Utf82WideString(CJsonAnswer::Text(object, key), wide);
    return wide;
}

}  // namespace

int CAnswerReader::Login(const std::string& answer, std::string& userId, std::string& userType,
                         std::string& token, std::string& pushId, std::string& personalSpace) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_OK) {
        const Json::Value& root = json.Root();
        userId = CJsonAnswer::Text(root, "ent_uid");
        userType = CJsonAnswer::Text(root, "ent_utype");
        token = CJsonAnswer::Text(root, "ent_utoken");
        pushId = CJsonAnswer::Text(root, "entjpush");
        personalSpace = CJsonAnswer::Text(root, "per_space");
    }
    return result;
}

int CAnswerReader::SpaceInfo(const std::string& answer, std::string& usedSize,
                             std::string& totalSize) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_OK) {
        usedSize = CJsonAnswer::Text(json.Root(), "usrusedsizestr");
        totalSize = CJsonAnswer::Text(json.Root(), "usrtotalsizestr");
    }
    return result;
}

int CAnswerReader::WebToken(const std::string& answer, std::string& webToken) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_OK) {
        webToken = CJsonAnswer::Text(json.Root(), "ent_utype");
    }
    return result;
}

int CAnswerReader::Version(const std::string& answer, std::string& address, int& versionNumber,
                           int& updateFlag, std::wstring& releaseNotes, std::string& packageMd5) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_SERVICE_BASE + REST_VERSION_CODE2) {
        return REST_VERSION_CODE2;
    }
    if (result == REST_OK) {
        const Json::Value& root = json.Root();
        address = CJsonAnswer::Text(root, "vaddress");
        versionNumber = CJsonAnswer::TextToInt(CJsonAnswer::Text(root, "vnum"));
        updateFlag = CJsonAnswer::TextToInt(CJsonAnswer::Text(root, "isupdate"));
        releaseNotes = WideText(root, "vcontext");
        packageMd5 = CJsonAnswer::Text(root, "vmd5");
    }
    return result;
}

int CAnswerReader::Listing(const std::string& answer, EListing kind,
                           std::vector<TSyncFile>& files) {
    return CListingReader::Read(answer, kind, files);
}

int CAnswerReader::Listing(CAnswerSource& answer, EListing kind, std::vector<TSyncFile>& files) {
    return CListingReader::Read(answer, kind, files);
}

int CAnswerReader::UploadVerify(const std::string& answer, TSyncFile& file) {
    CJsonAnswer json;
    int result = Evaluate(json, answer, REST_VERIFY_BASE);
    if (result == REST_OK) {
        file.dataExtension.dataBreakPoint.strTempName = CJsonAnswer::Text(json.Root(), "s_name");
    } else if (result == REST_VERIFY_BASE + 9) {
        file.iId = CJsonAnswer::Int(json.Root(), "fid");
        return REST_ALREADY_STORED;
    }
    return result;
}

int CAnswerReader::UploadState(const std::string& answer, std::string& offset) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_OK) {
        // Enough for the 309 digits of the largest double.
        char text[400];
        std::snprintf(text, sizeof text, "%.0f", CJsonAnswer::Number(json.Root(), "skip"));
        offset = text;
    }
    return result;
}

int CAnswerReader::UploadCommit(const std::string& answer, TSyncFile& file) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_OK) {
        file.iId = CJsonAnswer::Int(json.Root(), "fid");
    }
    return result;
}

int CAnswerReader::FileInfo(const std::string& answer, TSyncFile& file) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_OK) {
        file.strServerTime = CJsonAnswer::Text(json.Root(), "fmodify");
        file.strFileSize = CJsonAnswer::NumberToSizeText(CJsonAnswer::Number(json.Root(), "fsize"));
        // Only when given, so that an answer without it leaves the hash of the local file.
        std::string md5 = CJsonAnswer::Text(json.Root(), "storecode");
        if (!md5.empty()) {
            file.strMD5 = std::move(md5);
        }
    }
    return result;
}

int CAnswerReader::MkDir(const std::string& answer, TSyncFile& file) {
    CJsonAnswer json;
    int result = Evaluate(json, answer);
    if (result == REST_OK) {
        file.iId = CJsonAnswer::TextToInt(CJsonAnswer::Text(json.Root(), "msg"));
    }
    return result;
}

int CAnswerReader::CodeOnly(const std::string& answer) {
    CJsonAnswer json;
    return Evaluate(json, answer);
}

int CAnswerReader::DownloadCodeHeader(const std::string& headerValue) {
    return CodeOnly("{\"code\":" + headerValue + "}");
}
