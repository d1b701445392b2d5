#pragma once
// The mirror log: the run's lines, kept on disk as the run goes.
//
// The file holds at every write what a rewrite of all lines would give (the old log, when
// appending, then this run's lines), but only the lines added since the last write are
// appended, so a run's cost does not grow with the square of its copies.

#include <string>

#include "engine/ItemChecks.h"
#include "platform/AppendFile.h"

namespace renvo {

class MirrorLog {
public:
    MirrorLog(std::string path, bool append, bool keep);

    // Starts the run's lines (with the old log first when appending). Returns false when the
    // old log exists but cannot be read: the run then ends at once.
    bool begin(bool standardRun, double startTime);
    void add(const std::string& line);
    void addCopy(const std::string& src, const std::string& dst, int err);
    void addDeletion(const std::string& path, int err);
    void addHistory(size_t files);
    // An item dropped from the list because its source has gone.
    void addDropped(const std::string& address);
    // A pipe, socket or device in a source: never copied, never a failure.
    void addSpecial(const std::string& path);
    // A source folder whose files could not be listed.
    void addUnreadable(const std::string& folder, int err);
    // A record the run does not trust, skipped.
    void addSkippedRecord(const std::string& address, const std::string& dest, ItemProblem problem);
    // The mirroring top folder is no full path: the run does nothing.
    void addBadTopFolder(const std::string& top);
    // The mirroring top folder has been written before and is not there now (a drive that is
    // not mounted): the run writes nothing. `text` says why.
    void addTopUnavailable(const std::string& text);
    // An item whose source is not there: its mirror was left as it is.
    void addUnavailable(const std::string& address, const std::string& why);
    // The history step could not be carried out (its plan on disk could not be written or
    // finished).
    void addHistoryFailure(const std::string& path, int err);
    // One of the program's own files could not be saved.
    void addSaveFailure(const std::string& path, int err);
    void end(double endTime);

    // Writes the pending lines if the log is kept. A failed write is dropped; the next
    // write tries again with everything still pending.
    void save();
    // The errno of the last write that failed while lines are still pending (lines the log
    // does not hold); 0 once everything is written.
    int writeError() const { return writeError_; }
    // The final write is skipped after an unreadable old log, so it is not replaced.
    void disableWrites() { keep_ = false; }

private:
    std::string path_;
    bool append_;
    bool keep_;
    bool started_ = false;       // the file was replaced or found for appending this run
    bool hadOldLog_ = false;
    std::string pending_;        // lines not yet on disk, each ended by CR LF
    int writeError_ = 0;
    AppendFile file_;            // the log, open for appending once written
};

}  // namespace renvo
