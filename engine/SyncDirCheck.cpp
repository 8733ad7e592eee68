#include "engine/SyncDirCheck.h"

#include <utility>
#include <vector>

#include "platform/Paths.h"

namespace {

std::filesystem::path Resolved(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : resolved;
}

// The path of inner relative to outer when inner is outer or lies below it.
bool RelativeBelow(const std::filesystem::path& inner, const std::filesystem::path& outer,
                   std::filesystem::path& relative) {
    auto innerPart = inner.begin();
    for (auto outerPart = outer.begin(); outerPart != outer.end(); ++outerPart, ++innerPart) {
        if (outerPart->empty()) {
            continue;  // the empty last element of a path with a trailing separator
        }
        if (innerPart == inner.end() || *innerPart != *outerPart) {
            return false;
        }
    }
    relative.clear();
    for (; innerPart != inner.end(); ++innerPart) {
        if (!innerPart->empty()) {
            relative /= *innerPart;
        }
    }
    return true;
}

bool HasHiddenComponent(const std::filesystem::path& relative) {
    for (const std::filesystem::path& part : relative) {
        if (!part.empty() && part.native().front() == '.') {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsRefusedSyncDir(const std::filesystem::path& syncDir, std::string& why) {
    const std::filesystem::path dir = Resolved(syncDir);
    if (dir == dir.root_path()) {
        why = "the sync directory is the root of the file system";
        return true;
    }
    const std::vector<std::pair<const char*, std::filesystem::path>> own = {
        {"config", plat::ConfigDir()},
        {"data", plat::DataDir()},
        {"state", plat::StateDir()},
        {"runtime", plat::RuntimeDir()},
    };
    for (const auto& [name, folder] : own) {
        if (folder.empty()) {
            continue;
        }
        const std::filesystem::path ownDir = Resolved(folder);
        std::filesystem::path relative;
        if (RelativeBelow(dir, ownDir, relative)) {
            why = std::string("the sync directory lies inside the program's ") + name + " folder " +
                  ownDir.string();
            return true;
        }
        if (RelativeBelow(ownDir, dir, relative) && !HasHiddenComponent(relative)) {
            why = std::string("the sync directory holds the program's ") + name + " folder " +
                  ownDir.string();
            return true;
        }
    }
    return false;
}
