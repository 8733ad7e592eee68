// The model's checks that nothing is lost and that nothing went without a cause, where a step
// found a version away from the place its side left it (the engine had carried the other side's
// rename or move over to it).

#include <gtest/gtest.h>

#include <functional>

#include "testing/converge/ConvergeModel.h"

namespace {

using converge::CConvergeModel;
using converge::ESide;
using converge::TView;

struct TCase {
    const char* why;
    std::function<void(CConvergeModel&)> after;  // what came after the service wrote "v1"
    bool bLost;
};

TEST(ConvergeModelTest, AVersionGoneAfterItSyncedHasACauseOnlyWhenAStepFoundIt) {
    const TCase cases[] = {
        {"nothing found it: the engine lost it", [](CConvergeModel&) {}, true},
        {"the local side found it and wrote over it",
         [](CConvergeModel& model) { model.Reached(ESide::Local, "v1"); }, false},
        {"a later service step found it under the name the engine gave it and replaced it",
         [](CConvergeModel& model) {
             model.Replaced(ESide::Service, "v1");
             model.WroteFile(ESide::Service, "b.txt", "v2");
         },
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.why);
        CConvergeModel model;
        model.Settle({{"a.txt", "v0"}});
        model.WroteFile(ESide::Service, "a.txt", "v1");
        c.after(model);
        const TView settled = {{"b.txt", "v2"}};
        bool bLost = false;
        for (const converge::TViolation& violation : model.Check(settled, {"/b.txt"})) {
            bLost = bLost ||
                    (violation.iCheck == 2 && violation.strWhat.find("v1") != std::string::npos);
        }
        EXPECT_EQ(bLost, c.bLost);
    }
}

// f5.bin moved locally into d1, the move synced, and the service appended to d1/f5.bin.
TEST(ConvergeModelTest, ASyncedVersionAStepReplacedWhereTheEngineMovedItIsNotGoneWithoutACause) {
    for (bool bFound : {false, true}) {
        SCOPED_TRACE(bFound ? "the appending step found it" : "no step found it");
        CConvergeModel model;
        model.Settle({{"f5.bin", "v0"}, {"d1", "dir"}});
        model.Moved(ESide::Local, "f5.bin", "d1/f5.bin", {{"d1/f5.bin", "v0"}});
        if (bFound) {
            model.Reached(ESide::Service, "v0");
            model.Replaced(ESide::Service, "v0");
        }
        model.WroteFile(ESide::Service, "d1/f5.bin", "v1");
        bool bCauseless = false;
        for (const converge::TViolation& violation :
             model.Check({{"d1", "dir"}, {"d1/f5.bin", "v1"}}, {"/d1", "d1/f5.bin"})) {
            bCauseless =
                bCauseless || (violation.iCheck == 3 &&
                               violation.strWhat.find("without a step") != std::string::npos);
        }
        EXPECT_EQ(bCauseless, !bFound);
    }
}

// A conflict copy made in an earlier interval is carried along when either side renames or
// moves its folder (seed 54: the service renamed it; seed 92: the local side did); only a copy
// the settled account did not hold where a rename took it from needs both sides' changes.
TEST(ConvergeModelTest, AConflictCopyCarriedByAFolderRenameIsNotANewOne) {
    struct TCopyCase {
        const char* why;
        ESide side;
        const char* to;   // where d3 went (nullptr: nowhere)
        const char* end;  // the folder that holds the file and the copy at the end
        bool bBefore;     // the settled account held the copy in d3
        bool bFlagged;
    };
    const TCopyCase cases[] = {
        {"a service rename carried the copy", ESide::Service, "n139", "n139", true, false},
        {"a service rename, the copy is new", ESide::Service, "n139", "n139", false, true},
        {"a local rename carried the copy", ESide::Local, "n204", "n204", true, false},
        {"a local rename, the copy is new", ESide::Local, "n204", "n204", false, true},
        {"a service move into another folder carried the copy", ESide::Service, "d1/d3", "d1/d3",
         true, false},
        {"the copy turned up in another folder without a rename", ESide::Local, nullptr, "d5", true,
         true},
    };
    const std::string copy = "/f1_20261211110823.txt";
    for (const TCopyCase& c : cases) {
        SCOPED_TRACE(c.why);
        TView base = {{"d3", "dir"}, {"d3/f1.txt", "v1"}};
        if (c.bBefore) {
            base["d3" + copy] = "v0";
        }
        const std::string end = c.end;
        const TView settled = {{end, "dir"}, {end + "/f1.txt", "v1"}, {end + copy, "v0"}};
        CConvergeModel model;
        model.Settle(base);
        if (c.to != nullptr) {
            model.Moved(c.side, "d3", c.to, settled);
        }
        bool bFlagged = false;
        for (const converge::TViolation& violation : model.Check(settled, {})) {
            bFlagged = bFlagged || violation.iCheck == 5;
        }
        EXPECT_EQ(bFlagged, c.bFlagged);
    }
}

}  // namespace
