#pragma once
// History generations under the mirroring top folder: History1 (newest) .. HistoryN.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UpdateList.h"

namespace renvo {

std::string generationFolder(const std::string& top, int64_t n);
// The number of a generation folder's name ("History" and a number without leading zeros);
// 0 for any other name.
int64_t generationNumber(const std::string& name);
// True for the names of the history step's own work folders in the top folder.
bool isHistoryWorkName(std::string_view name);

// The numbers of the generation folders under the top folder ("History" and a number without
// leading zeros), ascending. The top folder is listed once.
std::vector<int64_t> generationsPresent(const std::string& top);

// Removes what a history step that was killed left behind (its half-made new generation).
void removeHistoryLeftovers(const std::string& top);

// The history step of a complete run: rotates the generations and fills History1 with the
// current copies of the updated files, then removes the generations above the limit.
// Every loop runs over the generation folders that exist, whatever the limit.
class HistoryStep {
public:
    HistoryStep(std::string top, int32_t limitHistory, const UpdateList& updated);

    // How often run() calls `advance`: once per generation moved, per updated file and once
    // before the final removal (the progress maximum of the step).
    size_t steps() const { return steps_; }
    // Whether a new History1 is made: at least one updated file has a copy under Latest.
    // Without one the generations stay as they are, so files that fail to copy on every run
    // never rotate the history away.
    bool rotates() const { return rotates_; }
    // The new generation is made aside and put in place after the rotation, so a step that is
    // killed half-way leaves the generations as they were. False when it could not be put in
    // place: the updated files then stay listed for the next complete run.
    bool run(const std::function<void()>& advance);

private:
    std::string top_;
    std::string latest_;
    int32_t limit_;
    const UpdateList& updated_;
    std::vector<int64_t> present_;
    bool rotates_ = false;
    bool removesAbove_ = true;
    size_t steps_ = 0;
};

}  // namespace renvo
