#pragma once
// The steps of one convergence run, made from its seed alone: changes on the sync directory
// (the local side), changes through the reference service's control interface as another
// device (the service side), faults, and quiet points where everything settles and is
// checked. The list depends on nothing but the seed, so that a run replays with the same
// steps; what a step finds when it runs (a file the engine already moved) may differ.

#include <cstdint>
#include <string>
#include <vector>

namespace converge {

enum class ESide { Local, Service, None };

enum class EStep {
    Create,                   // a file with new content, its folders made as needed
    Append,                   // bytes added at the end of a file
    Overwrite,                // a file's content replaced
    Truncate,                 // a file cut to a shorter length
    Rename,                   // a file or folder renamed in its folder
    Move,                     // a file or folder moved to another folder
    Delete,                   // a file or folder deleted
    MakeFolder,               // an empty folder
    Burst,                    // several files in a new folder at once
    EditWhileUploading,       // a large file written, then changed again after a pause
    DeleteFolderWhileAdding,  // files added to a folder, the folder deleted, one added again
    ServiceStop,
    ServiceStart,
    Fault,  // the service's fault plan: an answer refused, dropped, delayed or cut
    KillEngine,
    StartEngine,
    Pause,
    Resume,
    ReadOnly,  // the sync directory made unwritable for a while
    Writable,
    Quiet,  // every fault ended, then a comparison until everything is synced, then the checks
};

struct TStep {
    EStep eKind = EStep::Quiet;
    ESide eSide = ESide::None;
    std::string strPath;    // the item the step works on ("d0/f1.txt")
    std::string strTarget;  // Rename: the new name; Move: the folder ("" the root)
    std::uint32_t uSize = 0;
    std::uint32_t uContent = 0;  // the content's seed
    int iPauseMs = 0;            // before the step (KillEngine: before the kill)
    // Fault: the endpoint, the kind ("status", "drop", "delay", "cut"), its value (status,
    // delay in ms, bytes that pass) and how many requests it hits.
    std::string strEndpoint;
    std::string strFault;
    int iFaultValue = 0;
    int iFaultCount = 1;
};

// count changes and faults, with a quiet point every quietEvery of them and one at the end.
std::vector<TStep> MakeSteps(std::uint64_t seed, int count, int quietEvery = 10);

std::string StepText(const TStep& step);

// The content a step writes: a line naming the seed and the step, then bytes that differ
// from any other step's; exactly size bytes.
std::string StepContent(std::uint32_t contentSeed, std::uint32_t size);

// Items every run starts with and that no step touches, so that deleting everything the
// steps made never looks like wiping out the account.
bool IsKept(const std::string& path);

}  // namespace converge
