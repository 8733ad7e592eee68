#include "rest/ListingReader.h"

#include <json/json.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <iterator>
#include <string_view>

#include "common/Utility.h"
#include "rest/JsonAnswer.h"
#include "rest/RestResult.h"

namespace {

// The members read; every other member is passed over.
enum class EField {
    None,
    Code,
    Total,
    Files,
    Id,
    ParentId,
    Name,
    Type,
    ServerTime,
    ModifyTime,
    Size,
    Md5,
};

// One value as the document readers of CJsonAnswer see it. Numbers and booleans are held as
// document values, so that their text is exactly the document's.
struct TValue {
    enum class EKind { Null, Container, Scalar, Text } kind = EKind::Null;
    Json::Value scalar;
    std::string_view text;

    std::string Text() const {
        if (kind == EKind::Text) {
            return std::string(text);
        }
        return kind == EKind::Scalar ? scalar.asString() : std::string();
    }
    bool IsNumber() const { return kind == EKind::Scalar && scalar.type() != Json::booleanValue; }
    double Number() const { return IsNumber() ? scalar.asDouble() : 0.0; }
};

TValue ScalarValue(Json::Value scalar) {
    TValue value;
    value.kind = TValue::EKind::Scalar;
    value.scalar = std::move(scalar);
    return value;
}

// Receives the parser's events. Depth 1 is the top-level object, depth 2 the "files" array,
// depth 3 the members of one entry; whatever lies deeper is passed over.
class CListingHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CListingHandler> {
  public:
    explicit CListingHandler(CAnswerReader::EListing kind) : m_kind(kind) {}

    bool Null() { return Value(TValue()); }
    bool Bool(bool b) { return Value(ScalarValue(Json::Value(b))); }
    bool Int(int i) { return Value(ScalarValue(Json::Value(Json::Int(i)))); }
    bool Uint(unsigned u) { return Value(ScalarValue(Json::Value(Json::UInt(u)))); }
    bool Int64(std::int64_t i) { return Value(ScalarValue(Json::Value(Json::Int64(i)))); }
    bool Uint64(std::uint64_t u) { return Value(ScalarValue(Json::Value(Json::UInt64(u)))); }
    bool Double(double d) { return Value(ScalarValue(Json::Value(d))); }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        TValue value;
        value.kind = TValue::EKind::Text;
        value.text = std::string_view(text, length);
        return Value(value);
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        std::string_view key(text, length);
        if (m_iDepth == 1) {
            m_field = RootField(key);
        } else if (m_iDepth == 3 && m_bInEntry) {
            m_field = EntryField(key);
        } else {
            m_field = EField::None;
        }
        return true;
    }
    bool StartObject() { return StartContainer(true); }
    bool StartArray() { return StartContainer(false); }
    bool EndObject(rapidjson::SizeType) { return EndContainer(); }
    bool EndArray(rapidjson::SizeType) { return EndContainer(); }

    int Result(std::vector<TSyncFile>& files);

  private:
    bool Value(const TValue& value);
    bool StartContainer(bool object);
    bool EndContainer();
    EField RootField(std::string_view key) const;
    EField EntryField(std::string_view key) const;
    void SetRootMember(const TValue& value);
    void SetEntryMember(TSyncFile& file, const TValue& value) const;
    void AddNonObjectEntry();

    CAnswerReader::EListing m_kind;
    int m_iDepth = 0;
    bool m_bInFiles = false;
    bool m_bInEntry = false;
    EField m_field = EField::None;  // the member whose value comes next
    std::string m_code;
    bool m_bTotalIsNumber = false;
    double m_dTotal = 0;
    bool m_bFilesUsable = true;  // an array, null or missing
    std::vector<TSyncFile> m_entries;
    bool m_bNonObjectEntry = false;  // some entry of "files" is not an object
};

bool CListingHandler::Value(const TValue& value) {
    if (m_iDepth == 0) {
        return false;
    }
    if (m_iDepth == 1) {
        SetRootMember(value);
    } else if (m_bInFiles && m_iDepth == 2) {
        AddNonObjectEntry();
    } else if (m_bInEntry && m_iDepth == 3) {
        SetEntryMember(m_entries.back(), value);
    }
    m_field = EField::None;
    return true;
}

bool CListingHandler::StartContainer(bool object) {
    if (m_iDepth == 0) {
        m_iDepth = 1;
        return object;
    }
    if (m_iDepth >= CJsonAnswer::MAX_NESTING) {
        return false;
    }
    TValue container;
    container.kind = TValue::EKind::Container;
    if (m_iDepth == 1 && m_field == EField::Files && !object) {
        SetRootMember(TValue());
        m_bInFiles = true;
    } else if (m_iDepth == 1) {
        SetRootMember(container);
    } else if (m_bInFiles && m_iDepth == 2 && object) {
        TSyncFile& file = m_entries.emplace_back();
        if (m_kind == CAnswerReader::EListing::All) {
            file.strFileSize = CJsonAnswer::NumberToSizeText(0);
        }
        m_bInEntry = true;
    } else if (m_bInFiles && m_iDepth == 2) {
        AddNonObjectEntry();
    } else if (m_bInEntry && m_iDepth == 3) {
        SetEntryMember(m_entries.back(), container);
    }
    m_field = EField::None;
    ++m_iDepth;
    return true;
}

bool CListingHandler::EndContainer() {
    --m_iDepth;
    if (m_iDepth == 2) {
        m_bInEntry = false;
    } else if (m_iDepth == 1) {
        m_bInFiles = false;
    }
    return true;
}

EField CListingHandler::RootField(std::string_view key) const {
    if (key == "code") {
        return EField::Code;
    }
    if (key == "total") {
        return EField::Total;
    }
    return key == "files" ? EField::Files : EField::None;
}

EField CListingHandler::EntryField(std::string_view key) const {
    bool all = m_kind == CAnswerReader::EListing::All;
    if (key == "fid") {
        return EField::Id;
    }
    if (key == "fname") {
        return EField::Name;
    }
    if (key == "fisdir") {
        return EField::Type;
    }
    if (key == (all ? "fpid" : "pid")) {
        return EField::ParentId;
    }
    if (key == "fmodify") {
        return all ? EField::ServerTime : EField::ModifyTime;
    }
    if (all) {
        return key == "fsize" ? EField::Size : key == "storecode" ? EField::Md5 : EField::None;
    }
    return key == "fcreate" ? EField::ServerTime : EField::None;
}

void CListingHandler::SetRootMember(const TValue& value) {
    switch (m_field) {
        case EField::Code:
            m_code = value.Text();
            break;
        case EField::Total:
            m_bTotalIsNumber = value.IsNumber();
            m_dTotal = value.Number();
            break;
        case EField::Files:
            m_bFilesUsable = value.kind == TValue::EKind::Null;
            m_entries.clear();
            m_bNonObjectEntry = false;
            break;
        default:
            break;
    }
}

void CListingHandler::SetEntryMember(TSyncFile& file, const TValue& value) const {
    switch (m_field) {
        case EField::Id:
            file.iId = CJsonAnswer::NumberToInt(value.Number());
            break;
        case EField::ParentId:
            file.iPId = CJsonAnswer::NumberToInt(value.Number());
            break;
        case EField::Name:
            Utf82WideString(value.Text(), file.strName);
            break;
        case EField::Type:
            file.iType = CJsonAnswer::TextToInt(value.Text());
            break;
        case EField::ServerTime:
            file.strServerTime = value.Text();
            break;
        case EField::ModifyTime:
            file.strModifyTime = value.Text();
            break;
        case EField::Size:
            file.strFileSize = CJsonAnswer::NumberToSizeText(value.Number());
            break;
        case EField::Md5:
            file.strMD5 = value.Text();
            break;
        default:
            break;
    }
}

// Counted like any entry, so that "total" is compared with what the answer holds.
void CListingHandler::AddNonObjectEntry() {
    m_bNonObjectEntry = true;
    m_entries.emplace_back();
}

int CListingHandler::Result(std::vector<TSyncFile>& files) {
    int result = CJsonAnswer::CodeResult(m_code, REST_SERVICE_BASE);
    if (result != REST_OK) {
        return result;
    }
    if (!m_bTotalIsNumber || !m_bFilesUsable) {
        return REST_BAD_ANSWER;
    }
    // An answer whose count and entries disagree is not the whole space: read as far as its
    // "total", it would make every item left out look deleted on the service.
    if (m_dTotal != double(m_entries.size()) || m_bNonObjectEntry) {
        return REST_BAD_ANSWER;
    }
    files.insert(files.end(), std::make_move_iterator(m_entries.begin()),
                 std::make_move_iterator(m_entries.end()));
    return REST_OK;
}

}  // namespace

int CListingReader::Read(const std::string& answer, CAnswerReader::EListing kind,
                         std::vector<TSyncFile>& files) {
    CListingHandler handler(kind);
    rapidjson::Reader reader;
    // Parsed in place, in a copy: strings are decoded where they stand, so the parser needs no
    // buffer of its own. Its text ends at the first NUL; one before the real end is content that
    // does not belong to a JSON answer.
    std::string text = answer;
    rapidjson::InsituStringStream stream(text.data());
    if (reader.Parse<rapidjson::kParseInsituFlag>(stream, handler).IsError() ||
        stream.Tell() != answer.size()) {
        return REST_BAD_ANSWER;
    }
    return handler.Result(files);
}
