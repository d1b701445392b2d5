#pragma once
// History generations under the mirroring top folder: History1 (newest) .. HistoryN.

#include <functional>
#include <string>

#include "engine/UpdateList.h"

namespace renvo {

std::string generationFolder(const std::string& top, int n);

// Rotates the generations and fills History1 with the current copies of the updated files,
// then removes the generations above the limit. `advance` is called once per rotation step,
// per updated file and once before the final removal, which the progress maximum
// (updated files + limit) counts on.
void historyStep(const std::string& top, int limitHistory, const UpdateList& updated,
                 const std::function<void()>& advance);

}  // namespace renvo
