// libFuzzer target over the reader and writer of config.ini. The input gives a file text and a
// few settings to write into it. Besides running without a crash, hang or undefined behaviour,
// the text must keep its promises: every stored setting reads back as written, a write changes
// no other setting, and what Text() writes reads back as the same settings.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/IniText.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

using Probe = std::pair<std::string, std::string>;

// Every (section, key) the reader could see in the text, as the names the caller would pass.
void AddProbesOfText(std::string_view text, std::vector<Probe>& probes) {
    std::string section;
    while (!text.empty() && probes.size() < 16) {
        std::size_t end = text.find('\n');
        std::string_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.front() == '[') {
            section = std::string(Trimmed(line.substr(1, line.find(']') - 1)));
        } else if (std::size_t equals = line.find('='); equals != std::string_view::npos) {
            probes.emplace_back(section, std::string(Trimmed(line.substr(0, equals))));
        }
    }
}

std::vector<std::optional<std::string>> ReadAll(const CIniText& ini,
                                                const std::vector<Probe>& probes) {
    std::vector<std::optional<std::string>> values;
    for (const Probe& probe : probes) {
        values.push_back(ini.Find(probe.first, probe.second));
    }
    return values;
}

void CheckTextReadsBack(const CIniText& ini, const std::vector<Probe>& probes) {
    const std::string text = ini.Text();
    const CIniText again(text);
    Require(ReadAll(again, probes) == ReadAll(ini, probes), "written text reads back the same");
    Require(again.Text() == text, "writing the text read back gives the same text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string file = input.ConsumeRandomLengthString(2048);
    CIniText ini(file);
    std::vector<Probe> probes;
    AddProbesOfText(file, probes);
    CheckTextReadsBack(ini, probes);

    for (int write = 0; write < 4 && input.remaining_bytes() > 0; ++write) {
        const std::string section = input.ConsumeRandomLengthString(64);
        const std::string key = input.ConsumeRandomLengthString(64);
        const std::string value = input.ConsumeRandomLengthString(256);
        const Probe written(std::string(Trimmed(section)), std::string(Trimmed(key)));
        probes.push_back(written);
        const std::vector<std::optional<std::string>> before = ReadAll(ini, probes);

        const bool bStorable = CIniText::CanStore(section, key, value);
        Require(ini.Set(section, key, value) == bStorable, "Set stores what CanStore accepts");
        if (!bStorable) {
            Require(ReadAll(ini, probes) == before, "a refused write changes nothing");
            continue;
        }
        Require(ini.Find(written.first, written.second) == value, "a stored value reads back");
        const std::vector<std::optional<std::string>> after = ReadAll(ini, probes);
        for (std::size_t i = 0; i < probes.size(); ++i) {
            if (!SameAscii(probes[i].first, written.first) ||
                !SameAscii(probes[i].second, written.second)) {
                Require(after[i] == before[i], "a write changes no other setting");
            }
        }
        CheckTextReadsBack(ini, probes);
    }
    return 0;
}
