// libFuzzer target over the step that turns the service's listing into relative paths of the
// sync directory. The first byte picks the form of the rest: a listing answer as the service
// sends it (read by the listing reader in pieces of one size), or a compact run of records
// whose small ids make duplicates, cycles, missing parents and deep chains common.
//
// Every listing, verified or not, must come out of the path builder with these promises kept:
// each kept entry has a path inside the sync directory (".\" then non-empty components, none
// "." or "..", no NUL, "/" or control character) that follows its chain of parents; an entry
// whose parents are missing, in a cycle or below a refused name is left out and its id
// reported. The check of the listing must refuse it exactly when some entry cannot be trusted.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/PackedFiles.h"
#include "engine/ServerScan.h"
#include "rest/AnswerReader.h"
#include "rest/AnswerSource.h"
#include "rest/ListingReader.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// The answer in pieces of one size, as a transfer might cut it.
class CPieces final : public CAnswerSource {
  public:
    CPieces(std::string_view text, std::size_t size) : m_text(text), m_iSize(size) {}
    bool Next(std::string_view& piece) override {
        if (m_iAt >= m_text.size()) {
            return false;
        }
        piece = m_text.substr(m_iAt, m_iSize);
        m_iAt += piece.size();
        return true;
    }

  private:
    std::string_view m_text;
    std::size_t m_iSize;
    std::size_t m_iAt = 0;
};

// A name character from one input byte: most bytes stand for themselves (control characters,
// NUL, "/", "\" and "." among them); a few stand for characters the packed form escapes or
// encodes in several bytes.
wchar_t NameChar(std::uint8_t byte) {
    switch (byte) {
        case 0xF0:
            return static_cast<wchar_t>(0xD800);  // a lone surrogate
        case 0xF1:
            return static_cast<wchar_t>(0x110000);  // past the last code point
        case 0xF2:
            return L'文';
        case 0xF3:
            return static_cast<wchar_t>(0x1F600);
        default:
            return static_cast<wchar_t>(byte);
    }
}

// Records of 4 bytes and a name: id, parent id (both -128 to 127, so they meet often), flags
// (bit 0 file, bit 1 no server time), name length, then the name's bytes.
CPackedFiles DecodeRecords(const std::uint8_t* data, std::size_t size) {
    CPackedFiles list;
    std::size_t at = 0;
    while (at + 4 <= size) {
        TSyncFile file;
        file.iId = static_cast<std::int8_t>(data[at]);
        file.iPId = static_cast<std::int8_t>(data[at + 1]);
        file.iType = data[at + 2] & 1;
        file.strServerTime = (data[at + 2] & 2) != 0 ? "" : "2026-01-01 00:00:00.000001";
        std::size_t length = data[at + 3];
        at += 4;
        for (; length > 0 && at < size; --length, ++at) {
            file.strName += NameChar(data[at]);
        }
        list.Add(file);
    }
    return list;
}

std::optional<CPackedFiles> ReadAnswer(const std::uint8_t* data, std::size_t size,
                                       std::size_t pieceSize) {
    CPieces pieces(std::string_view(reinterpret_cast<const char*>(data), size), pieceSize);
    CPackedFiles list;
    if (CListingReader::Read(pieces, CAnswerReader::EListing::All, list) != 0) {
        return std::nullopt;
    }
    return list;
}

// What the path builder must give an entry, worked out the plain way: follow the parents
// (first entry of each id) for at most one step per entry; the path when the root is reached
// through usable names, none otherwise.
struct TExpected {
    std::vector<std::optional<std::string>> paths;
    bool bTrusted = true;  // what the check of the listing must answer
};

TExpected Expect(const CPackedFiles& list) {
    std::unordered_map<int, std::size_t> first;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        first.try_emplace(list.Id(i), i);
    }
    TExpected expected;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        std::vector<std::string_view> names;
        bool bRooted = false;
        bool bThroughFolders = true;
        std::size_t at = i;
        for (std::size_t steps = 0; steps <= list.Size(); ++steps) {
            names.push_back(list.Name(at));
            if (list.PId(at) == 0) {
                bRooted = true;
                break;
            }
            auto parent = first.find(list.PId(at));
            if (parent == first.end()) {
                break;
            }
            at = parent->second;
            bThroughFolders = bThroughFolders && list.Type(at) == 0;
        }
        if (list.Id(i) == 0 || list.Id(i) == list.PId(i) || list.ServerTime(i).empty() ||
            first.at(list.Id(i)) != i || !bRooted || !bThroughFolders) {
            expected.bTrusted = false;
        }
        std::optional<std::string> path;
        if (bRooted) {
            path = ".";
            for (auto name = names.rbegin(); name != names.rend() && path; ++name) {
                if (!CServerScan::IsUsableName(*name)) {
                    path.reset();
                } else {
                    *path += '\\';
                    *path += *name;
                }
            }
        }
        expected.paths.push_back(std::move(path));
    }
    return expected;
}

// Inside the sync directory: ".\" and then components that are names.
bool IsInside(std::string_view path) {
    if (path.size() < 3 || path.substr(0, 2) != ".\\") {
        return false;
    }
    path.remove_prefix(2);
    while (true) {
        const std::size_t cut = path.find('\\');
        const std::string_view component = path.substr(0, cut);
        if (component.empty() || component == "." || component == ".." ||
            component.find('\0') != std::string_view::npos ||
            !CServerScan::IsUsableName(component)) {
            return false;
        }
        if (cut == std::string_view::npos) {
            return true;
        }
        path.remove_prefix(cut + 1);
    }
}

void Check(const CPackedFiles& listing) {
    const TExpected expected = Expect(listing);
    Require((CServerScan::VerifyServerData(listing) == 1) == expected.bTrusted,
            "the check refuses exactly the listings holding an entry it cannot trust");

    CPackedFiles list;
    for (std::size_t i = 0; i < listing.Size(); ++i) {
        list.AddFrom(listing, i);
    }
    std::unordered_set<int> refusedIds;
    CServerScan::BuildRelativePaths(list, refusedIds);

    std::unordered_set<int> expectedRefused;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < listing.Size(); ++i) {
        const std::optional<std::string>& path = expected.paths[i];
        if (!path) {
            expectedRefused.insert(listing.Id(i));
            continue;
        }
        Require(kept < list.Size(), "every entry with a sound chain is kept");
        Require(list.Id(kept) == listing.Id(i), "kept entries stay in order");
        Require(IsInside(list.RelativePath(kept)), "a kept path is inside the sync directory");
        Require(list.RelativePath(kept) == *path, "a kept path follows the parents");
        ++kept;
    }
    Require(kept == list.Size(), "an entry without a sound chain has no path");
    Require(refusedIds == expectedRefused, "the ids of the entries left out are reported");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log of every refused entry goes to a private folder of this run, and only above
    // the level the entries are logged at, so that the run does not spend its time writing.
    char folder[] = "/tmp/listing-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::abort();
    }
    ::setenv("CORVENA_HOME", folder, 1);
    std::filesystem::create_directories(std::filesystem::path(folder) / "config");
    std::ofstream(std::filesystem::path(folder) / "config" / "config.ini")
        << "[main]\nlogLevel=9\n";
    static const std::string home = folder;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t form = data[0];
    if ((form & 1) == 0) {
        Check(DecodeRecords(data + 1, size - 1));
    } else if (std::optional<CPackedFiles> listing = ReadAnswer(data + 1, size - 1, 1 + form / 2)) {
        Check(*listing);
    }
    return 0;
}
