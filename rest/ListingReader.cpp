#include "rest/ListingReader.h"

#include <json/json.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

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

// One value as the document readers of CJsonAnswer see it. A number or boolean keeps the
// parser's reading of it; where text is wanted, it is the text of the document value built from
// that reading, so that it is exactly the document's.
struct TValue {
    enum class EKind { Null, Container, Bool, Int, Uint, Double, Text } kind = EKind::Null;
    bool b = false;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    std::string_view text;

    std::string Text() const {
        switch (kind) {
            case EKind::Text:
                return std::string(text);
            case EKind::Bool:
                return Json::Value(b).asString();
            case EKind::Int:
                return Json::Value(Json::Int64(i)).asString();
            case EKind::Uint:
                return Json::Value(Json::UInt64(u)).asString();
            case EKind::Double:
                return Json::Value(d).asString();
            default:
                return std::string();
        }
    }
    // As Json::Value::asDouble converts a number.
    double Number() const {
        switch (kind) {
            case EKind::Int:
                return double(i);
            case EKind::Uint:
                return double(u);
            case EKind::Double:
                return d;
            default:
                return 0.0;
        }
    }
    bool IsNumber() const {
        return kind == EKind::Int || kind == EKind::Uint || kind == EKind::Double;
    }
};

// What ends a plain stretch of a string for the parser: the closing quote, an escape, a control
// character (refused) or a NUL (the end of the text, or refused).
bool IsSpecialInString(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == '"' || byte == '\\';
}

// The blanks JSON allows between tokens.
bool IsBlank(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// rapidjson's in-situ stream over the pieces of a source. Decoded strings are not written back
// into the text, as in-situ parsing would do: a string may span pieces, and a piece is gone
// once the next one is fetched. They go to a buffer of the stream's own, where the handler takes
// them from; the pointer the parser hands on with them is not theirs. Like the NUL that ends a
// C string, Peek answers NUL at the end of the text.
class CPieceStream {
  public:
    using Ch = char;

    explicit CPieceStream(CAnswerSource& source) : m_source(source) {}

    RAPIDJSON_FORCEINLINE Ch Peek() { return m_pCur != m_pEnd ? *m_pCur : Fetch(); }
    RAPIDJSON_FORCEINLINE Ch Take() {
        Ch c = Peek();
        if (m_pCur != m_pEnd) {
            ++m_pCur;
        }
        return c;
    }
    std::size_t Tell() const { return m_passed + std::size_t(m_pCur - m_pBegin); }

    Ch* PutBegin() {
        m_iText = 0;
        return nullptr;
    }
    // Once per byte of every string: kept inline, the growth out of line. The buffer holds
    // char8_t, which unlike char cannot alias the stream's own members, so that the parser's
    // loop keeps them in registers.
    RAPIDJSON_FORCEINLINE void Put(Ch c) {
        if (m_iText == m_text.size()) {
            GrowText();
        }
        m_text[m_iText++] = static_cast<char8_t>(c);
    }
    std::size_t PutEnd(Ch*) { return m_iText; }
    // Passes over blanks, as the parser's own loop would, without taking them one by one.
    void SkipBlanks() {
        for (;;) {
            while (m_pCur != m_pEnd && IsBlank(*m_pCur)) {
                ++m_pCur;
            }
            if (m_pCur != m_pEnd || !IsBlank(Fetch())) {
                return;
            }
        }
    }
    // Takes the bytes of a string up to the next quote, backslash or control character within
    // this piece at once: the bytes the parser's own loop would take and put one by one.
    void TakePlainText() {
        const char* stop = m_pCur;
        while (stop != m_pEnd && !IsSpecialInString(*stop)) {
            ++stop;
        }
        const auto length = std::size_t(stop - m_pCur);
        if (length == 0) {
            return;
        }
        while (m_text.size() - m_iText < length) {
            GrowText();
        }
        std::memcpy(m_text.data() + m_iText, m_pCur, length);
        m_iText += length;
        m_pCur = stop;
    }
    // The string decoded last, without the NUL the parser ends it with.
    std::string_view Text() const {
        return std::string_view(reinterpret_cast<const char*>(m_text.data()),
                                m_iText == 0 ? 0 : m_iText - 1);
    }

    // Reads the rest of the text; returns the length of the whole.
    std::size_t Drain() {
        while (!m_bEnded) {
            m_pCur = m_pEnd;
            Fetch();
        }
        return m_passed;
    }

  private:
    void GrowText() { m_text.resize(std::max<std::size_t>(256, m_text.size() * 2)); }
    // The first byte of the next piece that is not empty, NUL at the end; when the current
    // piece is used up.
    Ch Fetch();

    CAnswerSource& m_source;
    const char* m_pBegin = nullptr;  // the current piece
    const char* m_pCur = nullptr;
    const char* m_pEnd = nullptr;
    std::size_t m_passed = 0;  // the length of the pieces before the current one
    bool m_bEnded = false;
    std::u8string m_text;  // its first m_iText bytes hold the string decoded last
    std::size_t m_iText = 0;
};

CPieceStream::Ch CPieceStream::Fetch() {
    std::string_view piece;
    while (!m_bEnded) {
        m_passed += std::size_t(m_pEnd - m_pBegin);
        m_pBegin = m_pCur = m_pEnd = nullptr;
        if (!m_source.Next(piece)) {
            m_bEnded = true;
            break;
        }
        m_pBegin = m_pCur = piece.data();
        m_pEnd = m_pBegin + piece.size();
        if (m_pCur != m_pEnd) {
            return *m_pCur;
        }
    }
    return '\0';
}

}  // namespace

// As the parser does for its own streams: blanks passed over in bulk.
template <>
inline void rapidjson::SkipWhitespace(CPieceStream& stream) {
    stream.SkipBlanks();
}

// The parser's hook for copying the plain stretches of a string in bulk, which it offers for its
// own streams only.
template <>
template <>
inline void rapidjson::GenericReader<
    rapidjson::UTF8<>, rapidjson::UTF8<>,
    rapidjson::CrtAllocator>::ScanCopyUnescapedString<CPieceStream, CPieceStream>(CPieceStream& is,
                                                                                  CPieceStream&) {
    is.TakePlainText();
}

namespace {

// The whole answer as one piece.
class CWholeText final : public CAnswerSource {
  public:
    explicit CWholeText(std::string_view text) : m_text(text) {}
    bool Next(std::string_view& piece) override {
        if (m_bGiven) {
            return false;
        }
        m_bGiven = true;
        piece = m_text;
        return true;
    }

  private:
    std::string_view m_text;
    bool m_bGiven = false;
};

// Where the entries go while they are read. The entry handed out last may still be written
// until the next one is asked for or the answer is finished.
class CListingSink {
  public:
    virtual TSyncFile& NewEntry() = 0;
    virtual TSyncFile& LastEntry() = 0;
    // The answer is usable: the entries stay.
    virtual void Finish() = 0;
    // Removes every entry handed out.
    virtual void Discard() = 0;
    virtual void Reserve(std::size_t entries) = 0;

  protected:
    ~CListingSink() = default;
};

// Appends to the caller's vector.
class CVectorSink final : public CListingSink {
  public:
    explicit CVectorSink(std::vector<TSyncFile>& files) : m_files(files), m_first(files.size()) {}
    TSyncFile& NewEntry() override { return m_files.emplace_back(); }
    TSyncFile& LastEntry() override { return m_files.back(); }
    void Finish() override {}
    void Discard() override {
        m_files.erase(m_files.begin() + std::ptrdiff_t(m_first), m_files.end());
    }
    void Reserve(std::size_t entries) override { m_files.reserve(m_first + entries); }

  private:
    std::vector<TSyncFile>& m_files;
    std::size_t m_first;
};

// Packs each entry once it is complete: only the entry being read is held unpacked.
class CPackedSink final : public CListingSink {
  public:
    explicit CPackedSink(CPackedFiles& files) : m_files(files), m_first(files.Size()) {}
    TSyncFile& NewEntry() override {
        Finish();
        m_entry.Clear();
        m_bPending = true;
        return m_entry;
    }
    TSyncFile& LastEntry() override { return m_entry; }
    void Finish() override {
        if (m_bPending) {
            m_files.Add(m_entry);
            m_bPending = false;
        }
    }
    void Discard() override {
        m_bPending = false;
        std::vector<bool> keep(m_files.Size(), false);
        std::fill(keep.begin(), keep.begin() + std::ptrdiff_t(m_first), true);
        m_files.KeepIf(keep);
    }
    void Reserve(std::size_t entries) override { m_files.Reserve(m_first + entries); }

  private:
    CPackedFiles& m_files;
    std::size_t m_first;
    TSyncFile m_entry;
    bool m_bPending = false;
};

// Receives the parser's events. Depth 1 is the top-level object, depth 2 the "files" array,
// depth 3 the members of one entry; whatever lies deeper is passed over. The entries are
// appended to the caller's vector as they are read, and removed again when the answer turns out
// to be unusable.
class CListingHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CListingHandler> {
  public:
    CListingHandler(CAnswerReader::EListing kind, const CPieceStream& stream, CListingSink& files)
        : m_kind(kind), m_stream(stream), m_files(files) {}

    bool Null() { return Value(TValue()); }
    bool Bool(bool b) {
        TValue value;
        value.kind = TValue::EKind::Bool;
        value.b = b;
        return Value(value);
    }
    bool Int(int i) { return Int64(i); }
    bool Uint(unsigned u) { return Uint64(u); }
    bool Int64(std::int64_t i) {
        TValue value;
        value.kind = TValue::EKind::Int;
        value.i = i;
        return Value(value);
    }
    bool Uint64(std::uint64_t u) {
        TValue value;
        value.kind = TValue::EKind::Uint;
        value.u = u;
        return Value(value);
    }
    bool Double(double d) {
        TValue value;
        value.kind = TValue::EKind::Double;
        value.d = d;
        return Value(value);
    }
    bool String(const char*, rapidjson::SizeType, bool) {
        TValue value;
        value.kind = TValue::EKind::Text;
        value.text = m_stream.Text();
        return Value(value);
    }
    bool Key(const char*, rapidjson::SizeType, bool) {
        std::string_view key = m_stream.Text();
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

    // The listing's result; the entries stay appended only when it is 0.
    int Result();
    // Removes the entries appended.
    void Discard() { m_files.Discard(); }

  private:
    bool Value(const TValue& value);
    bool StartContainer(bool object);
    bool EndContainer();
    EField RootField(std::string_view key) const;
    EField EntryField(std::string_view key) const;
    void SetRootMember(const TValue& value);
    void SetEntryMember(TSyncFile& file, const TValue& value) const;
    void AddNonObjectEntry();
    void ReserveForTotal();
    bool Complete() const;

    CAnswerReader::EListing m_kind;
    const CPieceStream& m_stream;
    int m_iDepth = 0;
    bool m_bInFiles = false;
    bool m_bInEntry = false;
    EField m_field = EField::None;  // the member whose value comes next
    std::string m_code;
    bool m_bTotalIsNumber = false;
    double m_dTotal = 0;
    bool m_bFilesUsable = true;  // an array, null or missing
    CListingSink& m_files;
    std::size_t m_iCount = 0;   // entries of "files", objects or not
    bool m_bNonObject = false;  // one of them is not an object
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
        SetEntryMember(m_files.LastEntry(), value);
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
        ReserveForTotal();
    } else if (m_iDepth == 1) {
        SetRootMember(container);
    } else if (m_bInFiles && m_iDepth == 2 && object) {
        TSyncFile& file = m_files.NewEntry();
        if (m_kind == CAnswerReader::EListing::All) {
            file.strFileSize = CJsonAnswer::NumberToSizeText(0);
        }
        ++m_iCount;
        m_bInEntry = true;
    } else if (m_bInFiles && m_iDepth == 2) {
        AddNonObjectEntry();
    } else if (m_bInEntry && m_iDepth == 3) {
        SetEntryMember(m_files.LastEntry(), container);
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
            Discard();
            m_iCount = 0;
            m_bNonObject = false;
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

// A "total" given before the entries saves the vector its growth: no moves of the records read
// so far, and no second, larger block beside the first. A total beyond the bound is believed
// only as far as entries arrive.
void CListingHandler::ReserveForTotal() {
    constexpr double kMostReserved = 1 << 18;
    if (m_bTotalIsNumber && m_dTotal >= 1) {
        m_files.Reserve(std::size_t(std::min(m_dTotal, kMostReserved)));
    }
}

void CListingHandler::AddNonObjectEntry() {
    ++m_iCount;
    m_bNonObject = true;
}

// "total" must count the entries, every one an object: a listing that lacks entries would make
// its caller take the missing items for deleted ones, and one that holds more than it counts
// is not the listing the service meant to send.
bool CListingHandler::Complete() const {
    return m_bTotalIsNumber && m_bFilesUsable && !m_bNonObject && m_dTotal == double(m_iCount);
}

int CListingHandler::Result() {
    int result = CJsonAnswer::CodeResult(m_code, REST_SERVICE_BASE);
    if (result == REST_OK && !Complete()) {
        result = REST_BAD_ANSWER;
    }
    if (result != REST_OK) {
        Discard();
    } else {
        m_files.Finish();
    }
    return result;
}

}  // namespace

int CListingReader::Read(const std::string& answer, CAnswerReader::EListing kind,
                         std::vector<TSyncFile>& files) {
    CWholeText text(answer);
    return Read(text, kind, files);
}

namespace {

int ReadInto(CAnswerSource& source, CAnswerReader::EListing kind, CListingSink& files) {
    CPieceStream stream(source);
    CListingHandler handler(kind, stream, files);
    rapidjson::Reader reader;
    const bool parsed = !reader.Parse<rapidjson::kParseInsituFlag>(stream, handler).IsError();
    // The parser's text ends at the first NUL; one before the real end is content that does
    // not belong to a JSON answer.
    const std::size_t parsedLength = stream.Tell();
    if (stream.Drain() != parsedLength || !parsed) {
        handler.Discard();
        return REST_BAD_ANSWER;
    }
    return handler.Result();
}

}  // namespace

int CListingReader::Read(CAnswerSource& source, CAnswerReader::EListing kind,
                         std::vector<TSyncFile>& files) {
    CVectorSink sink(files);
    return ReadInto(source, kind, sink);
}

int CListingReader::Read(CAnswerSource& source, CAnswerReader::EListing kind, CPackedFiles& files) {
    CPackedSink sink(files);
    return ReadInto(source, kind, sink);
}
