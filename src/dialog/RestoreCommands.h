#pragma once
// The work of the item dialog's restore page, without a window: finding the copies of an item
// in the backup (Latest and the history generations) and copying chosen ones back.

#include "platform/FileOperation.h"
#include "prompt/Prompt.h"

#include <string>
#include <vector>

namespace renvo {

inline constexpr char kNothingFoundRow[] = "見つかりませんでした";
inline constexpr char kRestoreQuestionCaption[] = "確認";
inline constexpr char kRestoreDoneCaption[] = "作業完了";
inline constexpr char kRestoreDoneText[] = "作業が完了しました";
// The failure of a file whose place lies behind a symbolic link below the target.
inline constexpr char kLinkInTheWayReason[] = "シンボリックリンクです。リンクの先には復元しません";
// How many failed files the report names; the rest are counted.
inline constexpr size_t kFailuresNamed = 5;

// One copy of the item in the backup.
struct RestoreCandidate {
    std::string fileName;    // without folder
    std::string subfolder;   // of the file's folder, relative to the generation folder; "" directly in it
    std::string generation;  // "Latest" or "History<N>"
    std::string backupPath;  // top/generation[/subfolder]/fileName, as found
    std::string searchDest;  // the destination subfolder the search looked in
};

// What a search looks at, as the item page and the settings hold it at that moment.
struct RestoreQuery {
    std::string address;
    bool isFile = false;
    bool subfolders = false;
    std::string dest;
    std::string topFolder;
    int limitHistory = 0;
};

// "Latest" for 0, else "History" and the number.
std::string generationName(int generation);

// The candidates in search order: Latest, then History1 .. HistoryN; within a generation a
// folder item's files in folder-scan order, each folder's files by name. A destination the
// engine would not trust, a file name of "", "." or "..", and a base that leads out of its
// generation folder through a link find nothing. Links inside are listed, never entered.
std::vector<RestoreCandidate> searchBackup(const RestoreQuery& query);

// The restore target a successful search proposes: a file item's folder, a folder item's address.
std::string proposedTarget(const std::string& address, bool isFile);

// The folder a candidate goes back to: target followed by the candidate's subfolder below the
// destination. The destination is the current text when the subfolder lies in it (whole path
// parts), else the one the candidate was found under, so a changed text never cuts a name.
std::string restoreFolder(const std::string& target, const RestoreCandidate& candidate, const std::string& currentDest);

struct RestoreFailure {
    std::string path;    // the file or folder the failure concerns
    std::string reason;  // the system's text
};

struct RestoreOutcome {
    bool refused = false;  // nothing was tried: the target was not acceptable
    int restored = 0;
    int skipped = 0;  // answered No
    std::vector<RestoreFailure> failures;
};

// Restores the rows in the order given: asks for each (Yes, No, All for the rest), makes the
// folders, copies with fileOp (a temporary file renamed over the old one, stamp and mode kept,
// links as links), and ends with one box: completion, or the failures. Nothing is written
// through a symbolic link below the target (a folder on the way or the file's own name):
// that file fails with kLinkInTheWayReason and the link's path. The target (already
// without trailing delimiters) must be a full path and no restored file may land inside the
// top folder; otherwise an error box says so and nothing is copied.
RestoreOutcome restoreCandidates(Prompt& prompt, TFileOperation& fileOp, const std::vector<RestoreCandidate>& rows,
                                 const std::string& target, const std::string& currentDest,
                                 const std::string& topFolder, const void* owner);

// The texts of the boxes, for the tests and the page.
std::string restoreQuestionText(const std::string& fileName, const std::string& folder);
std::string failureReportText(const RestoreOutcome& outcome);
std::string emptyTargetText();
std::string relativeTargetText(const std::string& target);
std::string targetInsideTopText(const std::string& path, const std::string& top);

}  // namespace renvo
