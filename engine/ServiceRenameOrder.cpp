#include "engine/ServiceRenameOrder.h"

#include <cstddef>
#include <functional>
#include <queue>
#include <unordered_map>
#include <utility>

#include "common/Utility.h"

namespace {

using TPathIndex = std::unordered_map<std::wstring, std::size_t>;

// The folders above a relative path, deepest first (".\a\b\c" gives ".\a\b" and ".\a").
std::vector<std::wstring> FoldersAbove(const std::wstring& path) {
    std::vector<std::wstring> folders;
    for (auto slash = path.rfind(L'\\'); slash != std::wstring::npos && slash > 1;
         slash = path.rfind(L'\\', slash - 1)) {
        folders.push_back(path.substr(0, slash));
    }
    return folders;
}

// Where the item at path is once the renames done (old path to new path) ran: below the new
// path of the deepest folder above it that was renamed.
std::wstring Followed(const std::wstring& path,
                      const std::unordered_map<std::wstring, std::wstring>& done) {
    for (const std::wstring& folder : FoldersAbove(path)) {
        auto it = done.find(folder);
        if (it != done.end()) {
            return it->second + path.substr(folder.size());
        }
    }
    return path;
}

// For each rename, the renames that must run before it: those of the folders above its item,
// and those whose item stands, once its folders were renamed, at its new path or above it.
std::vector<std::vector<std::size_t>> Waits(const std::vector<TSyncFile>& renamed,
                                            const std::vector<std::wstring>& to) {
    TPathIndex oldPaths;
    std::unordered_map<std::wstring, std::wstring> allDone;
    for (std::size_t i = 0; i < renamed.size(); ++i) {
        oldPaths.emplace(renamed[i].strRelativePath, i);
        allDone.emplace(renamed[i].strRelativePath, to[i]);
    }
    TPathIndex standing;
    for (std::size_t i = 0; i < renamed.size(); ++i) {
        standing.emplace(Followed(renamed[i].strRelativePath, allDone), i);
    }
    std::vector<std::vector<std::size_t>> waits(renamed.size());
    for (std::size_t i = 0; i < renamed.size(); ++i) {
        auto add = [&](const TPathIndex& index, const std::wstring& path) {
            auto it = index.find(path);
            if (it != index.end() && it->second != i) {
                waits[i].push_back(it->second);
            }
        };
        for (const std::wstring& folder : FoldersAbove(renamed[i].strRelativePath)) {
            add(oldPaths, folder);
        }
        add(standing, to[i]);
        for (const std::wstring& folder : FoldersAbove(to[i])) {
            add(standing, folder);
        }
    }
    return waits;
}

// The renames in an order that keeps every wait, the earliest in the list first among those
// free to run; a ring of waits is broken at its earliest rename.
std::vector<std::size_t> RunOrder(const std::vector<std::vector<std::size_t>>& waits) {
    const std::size_t count = waits.size();
    std::vector<std::size_t> open(count, 0);
    std::vector<std::vector<std::size_t>> blocks(count);
    for (std::size_t i = 0; i < count; ++i) {
        open[i] = waits[i].size();
        for (std::size_t before : waits[i]) {
            blocks[before].push_back(i);
        }
    }
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
    for (std::size_t i = 0; i < count; ++i) {
        if (open[i] == 0) {
            ready.push(i);
        }
    }
    std::vector<bool> placed(count, false);
    std::vector<std::size_t> order;
    for (std::size_t ring = 0; order.size() < count;) {
        if (ready.empty()) {
            while (placed[ring]) {
                ++ring;
            }
            ready.push(ring);
        }
        const std::size_t next = ready.top();
        ready.pop();
        if (placed[next]) {
            continue;
        }
        placed[next] = true;
        order.push_back(next);
        for (std::size_t after : blocks[next]) {
            if (--open[after] == 0 && !placed[after]) {
                ready.push(after);
            }
        }
    }
    return order;
}

}  // namespace

void OrderServiceRenames(std::vector<TSyncFile>& renamed, const std::wstring& syncDir) {
    std::vector<std::wstring> to;
    for (const TSyncFile& file : renamed) {
        to.push_back(GetRelatePath(file.dataExtension.dataReName.wstrNewName, syncDir));
    }
    std::vector<TSyncFile> ordered;
    std::unordered_map<std::wstring, std::wstring> done;
    for (std::size_t i : RunOrder(Waits(renamed, to))) {
        TSyncFile file = std::move(renamed[i]);
        const std::wstring from = Followed(file.strRelativePath, done);
        done.emplace(file.strRelativePath, to[i]);
        if (from != file.strRelativePath) {
            file.strRelativePath = from;
            file.dataExtension.dataReName.wstrOldName = GetAbsolutePath(from, syncDir);
        }
        ordered.push_back(std::move(file));
    }
    renamed = std::move(ordered);
}
