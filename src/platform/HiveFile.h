#pragma once
// Loading and saving a hive file so that several programs can share it: every change is made
// under an advisory lock to the file as it is on disk at that moment, and the new file replaces
// the old one by a rename. A file that cannot be parsed is moved aside, never overwritten.

#include <functional>
#include <optional>
#include <string>

#include "platform/Hive.h"
#include "platform/Registry.h"
#include "platform/Status.h"

namespace renvo {

// What a change made: nothing (no save needed), a change to save, or a refusal (errno set).
enum class HiveChange { None, Changed, Refused };

// Reads the hive. A missing file or folder is an empty hive. Fails when the file exists but
// cannot be read; nothing is moved then.
Status loadHive(const std::string& hivePath, Hive& hive);

// Applies a change to the hive on disk and saves it when the change says so. Fails when the
// change is refused (with the errno it set) or the hive cannot be read or written; the file
// on disk is then as it was.
Status updateHive(const std::string& hivePath, const std::function<HiveChange(Hive&)>& change);

// Notices about hives moved aside, oldest first; one per move.
void postHiveNotice(HiveNotice notice);
std::optional<HiveNotice> takeHiveNotice();

}  // namespace renvo
