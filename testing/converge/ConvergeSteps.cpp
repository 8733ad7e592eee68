#include "testing/converge/ConvergeSteps.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <random>

namespace converge {

namespace {

constexpr const char* kKept = "keep";

const char* const kFolderNames[] = {"d0", "d1", "d2", "d3"};
const char* const kFileNames[] = {"f0.txt", "f1.txt", "f2.txt", "f3.bin", "f4.txt", "f5.bin"};
const char* const kEndpoints[] = {"*",
                                  "/ent/synch/modify",
                                  "/ent/file/upload/put",
                                  "/ent/file/upload/commit",
                                  "/ent/file/upload/new/verify",
                                  "/ent/file/download",
                                  "/ent/file/mkdir",
                                  "/ent/file/rm",
                                  "/ent/file/rename"};

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Joined(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

int Depth(const std::string& path) {
    return path.empty() ? 0 : int(std::count(path.begin(), path.end(), '/')) + 1;
}

// The generator's idea of the account: what both sides would hold if every step went
// through and synced at once. Only used to pick plausible targets.
class CPlan {
  public:
    explicit CPlan(std::uint64_t seed) : m_random(seed) {}

    int Below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(m_random); }
    bool Chance(int percent) { return Below(100) < percent; }
    std::uint32_t Word() { return std::uint32_t(m_random()); }

    std::vector<std::string> Items(bool folders, bool files) const {
        std::vector<std::string> items;
        for (const auto& [path, isDir] : m_items) {
            if (!IsKept(path) && ((isDir && folders) || (!isDir && files))) {
                items.push_back(path);
            }
        }
        return items;
    }
    // A folder to put something in: the root or a folder of depth 1.
    std::string Folder() {
        std::vector<std::string> folders = {""};
        for (const std::string& folder : Items(true, false)) {
            if (Depth(folder) < 2) {
                folders.push_back(folder);
            }
        }
        return folders[std::size_t(Below(int(folders.size())))];
    }
    std::string FreeName(const std::string& folder, bool isDir) {
        const int count = isDir ? int(std::size(kFolderNames)) : int(std::size(kFileNames));
        for (int attempt = 0; attempt < 8; ++attempt) {
            const std::string name = isDir ? kFolderNames[Below(count)] : kFileNames[Below(count)];
            if (!m_items.count(Joined(folder, name))) {
                return name;
            }
        }
        return std::string(isDir ? "n" : "n") + std::to_string(Below(1000)) + (isDir ? "" : ".txt");
    }
    template <typename List>
    std::string Pick(const List& items) {
        return items.empty() ? std::string() : items[std::size_t(Below(int(items.size())))];
    }

    void Add(const std::string& path, bool isDir) {
        for (std::string parent = Parent(path); !parent.empty(); parent = Parent(parent)) {
            m_items[parent] = true;
        }
        m_items[path] = isDir;
    }
    void Remove(const std::string& path) {
        for (auto it = m_items.begin(); it != m_items.end();) {
            it = it->first == path || it->first.rfind(path + "/", 0) == 0 ? m_items.erase(it)
                                                                          : std::next(it);
        }
    }
    void MoveTree(const std::string& from, const std::string& to) {
        std::map<std::string, bool> moved;
        for (auto it = m_items.begin(); it != m_items.end();) {
            if (it->first == from || it->first.rfind(from + "/", 0) == 0) {
                moved[to + it->first.substr(from.size())] = it->second;
                it = m_items.erase(it);
            } else {
                ++it;
            }
        }
        for (const auto& [path, isDir] : moved) {
            Add(path, isDir);
        }
    }
    bool IsFolder(const std::string& path) const {
        auto it = m_items.find(path);
        return it != m_items.end() && it->second;
    }
    int Size() const { return int(m_items.size()); }

  private:
    std::mt19937_64 m_random;
    std::map<std::string, bool> m_items;
};

std::uint32_t SmallSize(CPlan& plan) {
    if (plan.Chance(8)) {
        return 0;
    }
    return plan.Chance(85) ? std::uint32_t(1 + plan.Below(8192))
                           : std::uint32_t(65536 + plan.Below(1 << 20));
}

// One change on a side, or false when nothing fits.
bool MakeChange(CPlan& plan, ESide side, TStep& step) {
    step.eSide = side;
    step.uContent = plan.Word();
    const std::vector<std::string> files = plan.Items(false, true);
    const std::vector<std::string> all = plan.Items(true, true);
    const std::vector<std::string> folders = plan.Items(true, false);
    const int roll = plan.Below(100);
    if (roll < 22 || files.empty()) {
        step.eKind = EStep::Create;
        const std::string folder = plan.Chance(20) && plan.Size() < 30
                                       ? Joined(plan.Folder(), plan.FreeName("", true))
                                       : plan.Folder();
        step.strPath = Joined(folder, plan.FreeName(folder, false));
        step.uSize = SmallSize(plan);
        plan.Add(step.strPath, false);
    } else if (roll < 32) {
        step.eKind = EStep::Append;
        step.strPath = plan.Pick(files);
        step.uSize = std::uint32_t(1 + plan.Below(4096));
    } else if (roll < 44) {
        step.eKind = EStep::Overwrite;
        step.strPath = plan.Pick(files);
        step.uSize = SmallSize(plan);
    } else if (roll < 50) {
        step.eKind = EStep::Truncate;
        step.strPath = plan.Pick(files);
        step.uSize = plan.Word();  // the new length is this modulo the current one
    } else if (roll < 60) {
        step.eKind = EStep::Rename;
        step.strPath = plan.Pick(all);
        const bool isDir = plan.IsFolder(step.strPath);
        step.strTarget = plan.FreeName(Parent(step.strPath), isDir);
        plan.MoveTree(step.strPath, Joined(Parent(step.strPath), step.strTarget));
    } else if (roll < 68) {
        step.eKind = EStep::Move;
        step.strPath = plan.Pick(all);
        std::string folder = plan.Folder();
        if (folder == step.strPath || folder.rfind(step.strPath + "/", 0) == 0 ||
            folder == Parent(step.strPath)) {
            folder = Parent(step.strPath).empty() ? plan.Pick(folders) : std::string();
        }
        if (folder == step.strPath ||
            (!folder.empty() && folder.rfind(step.strPath + "/", 0) == 0)) {
            return false;
        }
        step.strTarget = folder;
        const std::string leaf = step.strPath.substr(step.strPath.rfind('/') + 1);
        plan.MoveTree(step.strPath, Joined(folder, leaf));
    } else if (roll < 80) {
        step.eKind = EStep::Delete;
        step.strPath = plan.Pick(all);
        plan.Remove(step.strPath);
    } else if (roll < 85) {
        step.eKind = EStep::MakeFolder;
        const std::string folder = plan.Folder();
        step.strPath = Joined(folder, plan.FreeName(folder, true));
        plan.Add(step.strPath, true);
    } else if (roll < 91) {
        step.eKind = EStep::Burst;
        step.strPath = plan.FreeName("", true);
        step.uSize = std::uint32_t(3 + plan.Below(5));  // files
        plan.Add(step.strPath, true);
        for (std::uint32_t i = 0; i < step.uSize; ++i) {
            plan.Add(step.strPath + "/b" + std::to_string(i) + ".txt", false);
        }
    } else if (roll < 96 && side == ESide::Local) {
        step.eKind = EStep::EditWhileUploading;
        step.strPath = plan.Chance(50)
                           ? plan.Pick(files)
                           : Joined(plan.Folder(), "big" + std::to_string(plan.Below(3)) + ".bin");
        step.uSize = std::uint32_t((1 << 20) + plan.Below(2 << 20));
        step.iPauseMs = 50 + plan.Below(600);  // between the two writes
        plan.Add(step.strPath, false);
    } else {
        step.eKind = EStep::DeleteFolderWhileAdding;
        step.strPath = folders.empty() ? plan.FreeName("", true) : plan.Pick(folders);
        step.uSize = std::uint32_t(2 + plan.Below(4));
        plan.Remove(step.strPath);
        plan.Add(step.strPath + "/late.txt", false);
    }
    return !step.strPath.empty();
}

}  // namespace

bool IsKept(const std::string& path) {
    return path == kKept || path.rfind(std::string(kKept) + "/", 0) == 0;
}

std::string StepContent(std::uint32_t contentSeed, std::uint32_t size) {
    std::string content = "content " + std::to_string(contentSeed) + "\n";
    std::mt19937 random(contentSeed);
    while (content.size() < size) {
        content.push_back(char('a' + random() % 26));
    }
    content.resize(size);
    return content;
}

std::vector<TStep> MakeSteps(std::uint64_t seed, int count, int quietEvery) {
    CPlan plan(seed);
    plan.Add("keep/k0.txt", false);
    plan.Add("keep/k1.txt", false);
    plan.Add("keep/k2.txt", false);
    plan.Add("f0.txt", false);
    plan.Add("d0/f1.txt", false);
    std::vector<TStep> steps;
    // Steps left until a fault ends, counted down from the step that starts it on; 0 when it
    // is not on.
    int serviceDown = 0;
    int engineDown = 0;
    int paused = 0;
    int readOnly = 0;
    auto endFaults = [&](bool all) {
        auto end = [&](int& left, EStep kind) {
            if (left > 0 && (all || --left == 0)) {
                left = 0;
                TStep step;
                step.eKind = kind;
                steps.push_back(step);
            }
        };
        end(serviceDown, EStep::ServiceStart);
        end(engineDown, EStep::StartEngine);
        end(paused, EStep::Resume);
        end(readOnly, EStep::Writable);
    };
    for (int made = 0; made < count;) {
        TStep step;
        step.iPauseMs = plan.Below(250);
        const int roll = plan.Below(100);
        bool ok = true;
        if (roll < 45 && readOnly == 0) {
            ok = MakeChange(plan, ESide::Local, step);
        } else if (roll < 82) {
            ok = MakeChange(plan, ESide::Service, step);
        } else {
            const int fault = plan.Below(5);
            if (fault == 0 && serviceDown == 0) {
                step.eKind = EStep::ServiceStop;
                serviceDown = 2 + plan.Below(4);
            } else if (fault == 1 && engineDown == 0) {
                step.eKind = EStep::KillEngine;
                step.iPauseMs = plan.Below(1500);
                engineDown = 2 + plan.Below(3);
            } else if (fault == 2 && paused == 0) {
                step.eKind = EStep::Pause;
                paused = 2 + plan.Below(4);
            } else if (fault == 3 && readOnly == 0) {
                step.eKind = EStep::ReadOnly;
                readOnly = 3 + plan.Below(3);
            } else {
                static const char* const kinds[] = {"status", "drop", "delay", "cut"};
                step.eKind = EStep::Fault;
                step.strEndpoint = plan.Pick(
                    std::vector<std::string>(std::begin(kEndpoints), std::end(kEndpoints)));
                step.strFault = kinds[plan.Below(4)];
                step.iFaultValue = step.strFault == "status"  ? (plan.Chance(50) ? 500 : 503)
                                   : step.strFault == "delay" ? 100 + plan.Below(1500)
                                                              : plan.Below(65536);
                step.iFaultCount = 1 + plan.Below(3);
            }
        }
        if (!ok) {
            continue;
        }
        endFaults(false);
        steps.push_back(step);
        ++made;
        if (made % quietEvery == 0 || made == count) {
            endFaults(true);
            steps.push_back(TStep());
        }
    }
    return steps;
}

std::string StepText(const TStep& step) {
    static const char* const kinds[] = {"create",
                                        "append",
                                        "overwrite",
                                        "truncate",
                                        "rename",
                                        "move",
                                        "delete",
                                        "mkdir",
                                        "burst",
                                        "edit-while-uploading",
                                        "delete-folder-while-adding",
                                        "service-stop",
                                        "service-start",
                                        "fault",
                                        "kill-engine",
                                        "start-engine",
                                        "pause",
                                        "resume",
                                        "read-only",
                                        "writable",
                                        "quiet"};
    std::string text = kinds[int(step.eKind)];
    if (step.eSide != ESide::None) {
        text = (step.eSide == ESide::Local ? "local " : "service ") + text;
    }
    if (!step.strPath.empty()) {
        text += " " + step.strPath;
    }
    if (step.eKind == EStep::Rename || step.eKind == EStep::Move) {
        text += " -> " + (step.strTarget.empty() ? std::string("(root)") : step.strTarget);
    }
    if (step.eKind == EStep::Fault) {
        text += " " + step.strFault + " " + std::to_string(step.iFaultValue) + " on " +
                step.strEndpoint + " x" + std::to_string(step.iFaultCount);
    }
    if (step.uSize != 0 && step.eKind != EStep::Truncate) {
        text += " size " + std::to_string(step.uSize);
    }
    if (step.iPauseMs != 0) {
        text += " after " + std::to_string(step.iPauseMs) + " ms";
    }
    return text;
}

}  // namespace converge
