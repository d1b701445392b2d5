#pragma once
// History generations under the mirroring top folder: History1 (newest) .. HistoryN.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UpdateList.h"
#include "platform/RemoveTree.h"

namespace renvo {

std::string generationFolder(const std::string& top, int64_t n);
// The number of a generation folder's name ("History" and a number without leading zeros);
// 0 for any other name.
int64_t generationNumber(const std::string& name);
// True for the names of the history step's own work folders in the top folder.
bool isHistoryWorkName(std::string_view name);
// True for the names an old generation has while it waits for its removal: ".HistoryOld.rvtmp"
// and ".HistoryOld<n>.rvtmp" (n without leading zeros). Only folders of these names are removed
// as leftovers of a run that did not see their removal to its end.
bool isOldGenerationName(std::string_view name);

// The numbers of the generation folders under the top folder ("History" and a number without
// leading zeros), ascending. The top folder is listed once.
std::vector<int64_t> generationsPresent(const std::string& top);

// What a history step that was killed left behind. A rotation it had committed to (its plan
// is on disk) is carried to its end: Finished, and the update list it consumed must be saved
// empty. A half-made new generation it had not committed to is removed: Cleaned.
// Failed (with the errno in *err) when a committed rotation cannot be finished: no run may go
// on then.
// Old generations left aside are removed on `background` when given (the run goes on
// meanwhile; the history step waits for them before it moves any folder).
enum class HistoryRecovery { Nothing, Cleaned, Finished, Failed };
HistoryRecovery recoverHistory(const std::string& top, int* err = nullptr, BackgroundRemoval* background = nullptr);

// What the history step tells the run on its way.
struct HistoryHooks {
    std::function<void()> advance;  // one step of the progress
    // A copy into the new generation failed (the path names its place in History1).
    std::function<void(const std::string& src, const std::string& dst, int err)> copyFailed;
    // The new generation is whole and the rotation is about to be committed: the run makes its
    // copies durable here.
    std::function<void()> beforeCommit;
    // The rotation is committed (it will be carried to its end even across a kill): the
    // update list is consumed and saved empty here, before any generation moves.
    std::function<void()> committed;
};

struct HistoryResult {
    bool placed = true;  // the new generation is History1 (or none was due)
    size_t stored = 0;   // files that went into the new generation
    size_t failed = 0;   // copies into it that failed: then it was not put in place
    int commitError = 0; // the rotation could not be committed or carried out (errno)
};

// The history step of a complete run: rotates the generations and fills History1 with the
// current copies of the updated files, then removes the generations above the limit.
// Every loop runs over the generation folders that exist, whatever the limit.
//
// The new generation is filled aside first; only when every copy arrived is the rotation
// written down as a plan and then carried out, so a kill at any point leaves either the old
// generations (and the files still listed) or a plan that the next run finishes: the same
// files are never rotated in twice, and a generation is never lost to a full disk.
class HistoryStep {
public:
    // The generations that go are renamed aside at once and removed on `background` when
    // given (the caller joins it), else before run() returns.
    HistoryStep(std::string top, int32_t limitHistory, const UpdateList& updated,
                BackgroundRemoval* background = nullptr);

    // How often run() calls `advance`: once per generation moved, per updated file and once
    // before the final removal (the progress maximum of the step).
    size_t steps() const { return steps_; }
    // Whether a new History1 is due: at least one updated file has a copy under Latest.
    // Without one the generations stay as they are, so files that fail to copy on every run
    // never rotate the history away.
    bool rotates() const { return rotates_; }
    HistoryResult run(const HistoryHooks& hooks);
    HistoryResult run(const std::function<void()>& advance) { return run(HistoryHooks{advance, {}, {}, {}}); }

private:
    int rotate(const HistoryHooks& hooks);

    std::string top_;
    std::string latest_;
    int32_t limit_;
    const UpdateList& updated_;
    BackgroundRemoval* background_;
    std::vector<int64_t> present_;
    bool rotates_ = false;
    bool removesAbove_ = true;
    size_t steps_ = 0;
};

}  // namespace renvo
