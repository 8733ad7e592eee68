#include "testing/converge/ConvergeModel.h"

#include <algorithm>
#include <iterator>
#include <regex>

namespace converge {

namespace {

bool Below(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// One is the other, or holds the other.
bool Related(const std::string& a, const std::string& b) {
    return a == b || Below(a, b) || Below(b, a);
}

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void AddParents(TView& view, const std::string& path) {
    for (std::string parent = Parent(path); !parent.empty(); parent = Parent(parent)) {
        view[parent] = "dir";
    }
}

void RemoveTree(TView& view, const std::string& path) {
    for (auto it = view.begin(); it != view.end();) {
        it = it->first == path || Below(it->first, path) ? view.erase(it) : std::next(it);
    }
}

}  // namespace

bool IsConflictCopy(const std::string& path, std::string& original) {
    static const std::regex pattern(R"(^(.*)_[0-9]{14}(_[0-9]+)?(\.[^./]*)?$)");
    std::smatch match;
    if (!std::regex_match(path, match, pattern)) {
        return false;
    }
    original = match[1].str() + match[3].str();
    return true;
}

std::string ViewText(const TView& view) {
    std::string text;
    for (const auto& [path, what] : view) {
        text += "  " + path + " " + what + "\n";
    }
    return text;
}

void CConvergeModel::Settle(const TView& settled) {
    m_base = settled;
    m_local = settled;
    m_service = settled;
    m_freshLocal.clear();
    m_freshService.clear();
    m_touchedLocal.clear();
    m_touchedService.clear();
    m_renames.clear();
    m_deleted.clear();
    for (const auto& [path, what] : settled) {
        if (what != "dir") {
            m_known.insert(what);
        }
    }
}

void CConvergeModel::WroteFile(ESide side, const std::string& path, const std::string& md5) {
    TView& view = side == ESide::Local ? m_local : m_service;
    RemoveTree(view, path);
    AddParents(view, path);
    view[path] = md5;
    (side == ESide::Local ? m_freshLocal : m_freshService).insert(md5);
    m_known.insert(md5);
    Touched(side, path);
}

void CConvergeModel::MadeFolder(ESide side, const std::string& path) {
    TView& view = side == ESide::Local ? m_local : m_service;
    AddParents(view, path);
    view[path] = "dir";
    Touched(side, path);
}

void CConvergeModel::Removed(ESide side, const std::string& path) {
    RemoveTree(side == ESide::Local ? m_local : m_service, path);
    Touched(side, path);
}

void CConvergeModel::Moved(ESide side, const std::string& from, const std::string& to,
                           const TView& found) {
    TView& view = side == ESide::Local ? m_local : m_service;
    RemoveTree(view, from);
    RemoveTree(view, to);
    AddParents(view, to);
    for (const auto& [path, what] : found) {
        view[path] = what;
    }
    m_renames.emplace_back(from, to);
    Touched(side, from);
    Touched(side, to);
}

void CConvergeModel::Touched(ESide side, const std::string& path) {
    (side == ESide::Local ? m_touchedLocal : m_touchedService).insert(path);
}

void CConvergeModel::Reached(ESide side, const std::string& md5) {
    (side == ESide::Local ? m_freshService : m_freshLocal).erase(md5);
}

void CConvergeModel::Replaced(ESide side, const std::string& md5) {
    (side == ESide::Local ? m_freshLocal : m_freshService).erase(md5);
    m_deleted.insert(md5);
}

std::vector<std::string> CConvergeModel::Aliases(const std::string& path) const {
    std::vector<std::string> aliases = {path};
    for (std::size_t i = 0; i < aliases.size() && aliases.size() < 64; ++i) {
        for (const auto& [from, to] : m_renames) {
            for (const auto& [a, b] : {std::pair(from, to), std::pair(to, from)}) {
                if (aliases[i] == a || Below(aliases[i], a)) {
                    const std::string alias = b + aliases[i].substr(a.size());
                    if (std::find(aliases.begin(), aliases.end(), alias) == aliases.end()) {
                        aliases.push_back(alias);
                    }
                }
            }
        }
    }
    return aliases;
}

bool CConvergeModel::InBase(const std::string& path) const {
    const std::vector<std::string> aliases = Aliases(path);
    return std::any_of(aliases.begin(), aliases.end(),
                       [&](const std::string& alias) { return m_base.count(alias) != 0; });
}

bool CConvergeModel::TouchedBy(ESide side, const std::string& path) const {
    const std::set<std::string>& touched = side == ESide::Local ? m_touchedLocal : m_touchedService;
    for (const std::string& alias : Aliases(path)) {
        for (const std::string& item : touched) {
            if (Related(alias, item)) {
                return true;
            }
        }
    }
    return false;
}

std::vector<TViolation> CConvergeModel::Check(const TView& settled,
                                              const std::vector<std::string>& listingNames) const {
    std::vector<TViolation> violations;
    std::multiset<std::string> present;
    for (const auto& [path, what] : settled) {
        if (what != "dir") {
            present.insert(what);
        }
    }
    auto holds = [](const TView& view, const std::string& md5) {
        return std::any_of(view.begin(), view.end(),
                           [&](const auto& item) { return item.second == md5; });
    };

    // 2: what a side's steps left is somewhere.
    for (ESide side : {ESide::Local, ESide::Service}) {
        const std::set<std::string>& fresh = side == ESide::Local ? m_freshLocal : m_freshService;
        for (const auto& [path, what] : Side(side)) {
            if (what != "dir" && fresh.count(what) && !present.count(what)) {
                violations.push_back({2, std::string(side == ESide::Local ? "local" : "service") +
                                             " version " + what + " of " + path + " is nowhere"});
            }
        }
    }

    // 3: what was synced and is gone had a cause.
    for (const auto& [path, what] : m_base) {
        if (what == "dir") {
            if (!settled.count(path) && m_local.count(path) && m_service.count(path) &&
                !TouchedBy(ESide::Local, path) && !TouchedBy(ESide::Service, path)) {
                violations.push_back({3, "folder " + path + " is gone without a step"});
            }
        } else if (!present.count(what) && !m_deleted.count(what) && holds(m_local, what) &&
                   holds(m_service, what)) {
            violations.push_back({3, path + " (" + what + ") is gone without a step"});
        }
    }
    // 3: an item only one side touched is as that side left it.
    std::set<std::string> paths;
    for (const TView* view : {&m_base, &m_local, &m_service, &settled}) {
        for (const auto& item : *view) {
            paths.insert(item.first);
        }
    }
    for (const std::string& path : paths) {
        std::string original;
        if (IsConflictCopy(path, original)) {
            continue;
        }
        const bool local = TouchedBy(ESide::Local, path);
        const bool service = TouchedBy(ESide::Service, path);
        if (local && service) {
            continue;
        }
        const TView& expected = local ? m_local : service ? m_service : m_base;
        auto want = expected.find(path);
        auto got = settled.find(path);
        const std::string wanted = want == expected.end() ? "nothing" : want->second;
        const std::string found = got == settled.end() ? "nothing" : got->second;
        if (wanted != found) {
            const char* who = local     ? "only the local side"
                              : service ? "only the service"
                                        : "no step";
            violations.push_back(
                {3, path + ": " + who + " touched it, expected " + wanted + ", found " + found});
        }
    }

    // 4: every file holds bytes some step wrote, none is a partial or temporary file.
    for (const auto& [path, what] : settled) {
        if (what != "dir" && !m_known.count(what)) {
            violations.push_back({4, path + " holds bytes no step wrote (" + what + ")"});
        }
        const std::string leaf = path.substr(path.rfind('/') + 1);
        if (leaf.ends_with(".part") || leaf.ends_with(".tmp") || leaf.rfind(".corvena", 0) == 0) {
            violations.push_back({4, path + " is a temporary file at a visible name"});
        }
    }

    // 5: no name twice; a conflict copy only where both sides changed the item.
    std::set<std::string> seen;
    for (const std::string& name : listingNames) {
        if (!seen.insert(name).second) {
            violations.push_back({5, name + " is listed twice in its folder"});
        }
    }
    for (const auto& [path, what] : settled) {
        std::string original;
        if (IsConflictCopy(path, original) && !InBase(path) &&
            !(TouchedBy(ESide::Local, original) && TouchedBy(ESide::Service, original))) {
            violations.push_back(
                {5, path + " is a conflict copy of " + original + ", which only one side changed"});
        }
    }
    return violations;
}

}  // namespace converge
