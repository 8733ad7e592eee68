#pragma once
// What a convergence run expects: per side, the items that side's own steps left since the
// last quiet point, every content version any step wrote, and the paths each side touched.
// At a quiet point the settled account (the sync directory, the service's listing and the
// local file table, once they agree) is checked against it:
//   1 convergence   the three views hold the same paths, kinds and MD5s
//   2 nothing lost  a version a side's steps left is present somewhere, under its name or as
//                   a conflict copy
//   3 causes        what was synced and is gone was deleted, overwritten or moved by a step;
//                   an item only one side touched is as that side left it
//   4 containment   every file holds bytes some step wrote; no partial or temporary file at
//                   a visible name; nothing changed outside the sync directory
//   5 duplicates    no name twice in one service folder; a conflict copy only where both
//                   sides changed an item
//   6 liveness      one comparison after the faults end reaches synced in bounded time
//
// Threads: the driver's thread only.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "testing/converge/ConvergeSteps.h"

namespace converge {

// One view: "a/b" of every item, with "dir" for a folder and the MD5 for a file.
using TView = std::map<std::string, std::string>;

struct TViolation {
    int iCheck = 0;
    std::string strWhat;
};

class CConvergeModel {
  public:
    // Starts an interval from a settled account.
    void Settle(const TView& settled);
    const TView& Base() const { return m_base; }
    const TView& Side(ESide side) const { return side == ESide::Local ? m_local : m_service; }

    // What a step did, as found after it ran.
    void WroteFile(ESide side, const std::string& path, const std::string& md5);
    void MadeFolder(ESide side, const std::string& path);
    void Removed(ESide side, const std::string& path);
    // The side's subtree at from went to to; found holds what the side actually had there
    // afterwards (paths below to, with their kinds and MD5s).
    void Moved(ESide side, const std::string& from, const std::string& to, const TView& found);
    // A version written without being left (overwritten again by the same step).
    void Wrote(const std::string& md5) { m_known.insert(md5); }
    void Touched(ESide side, const std::string& path);
    // A step on side found a version the other side wrote: it has synced, and what side's
    // step does to it next is that side's to do.
    void Reached(ESide side, const std::string& md5);
    // A step of side found the version in what it replaces or removes (the engine may have
    // put it there, or moved it there from where that side left it): its going has a cause.
    void Replaced(ESide side, const std::string& md5);

    // Checks 2 to 5 against the settled account; listingNames holds "folder/name" once per
    // service entry (so that a name twice shows).
    std::vector<TViolation> Check(const TView& settled,
                                  const std::vector<std::string>& listingNames) const;

  private:
    bool TouchedBy(ESide side, const std::string& path) const;
    // The paths a touch also stands for through the other side's renames.
    std::vector<std::string> Aliases(const std::string& path) const;
    // Whether the settled account held the item before, here or where a rename since took it
    // from (a conflict copy carried along by a rename of its folder is not a new one).
    bool InBase(const std::string& path) const;

    TView m_base;
    TView m_local;
    TView m_service;
    std::set<std::string> m_freshLocal;    // versions the local steps wrote in this interval
    std::set<std::string> m_freshService;  // and the service steps
    std::set<std::string> m_deleted;       // versions a step replaced or removed, this interval
    std::set<std::string> m_known;         // every version written since the run began
    std::set<std::string> m_touchedLocal;
    std::set<std::string> m_touchedService;
    std::vector<std::pair<std::string, std::string>> m_renames;  // from, to
};

// True for a conflict copy's name ("a_20261210153000.txt", "a_20261210153000_1.txt");
// original receives the name it was copied from.
bool IsConflictCopy(const std::string& path, std::string& original);

std::string ViewText(const TView& view);

}  // namespace converge
