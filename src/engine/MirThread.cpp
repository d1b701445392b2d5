#include "engine/MirThread.h"

#include "engine/CopyStep.h"
#include "engine/EFOpenError.h"
#include "engine/Evaluate.h"
#include "engine/History.h"
#include "engine/ListFile.h"
#include "engine/MirrorLog.h"
#include "engine/RecordCheck.h"
#include "engine/TableFile.h"
#include "engine/TopFolder.h"
#include "platform/CanonicalPath.h"
#include "platform/DateTime.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "platform/OpenRetry.h"
#include "platform/Path.h"
#include "platform/Program.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <exception>
#include <unordered_set>

namespace renvo {

namespace {

// The run ends where this is thrown: a stop request met at a poll point (the cancel), a top
// folder that is not there to be written, a failure that leaves nothing to go on with. A file
// of the program's own that cannot be opened ends it as EFOpenError, which the list editor
// knows too.
struct EMirStop : std::exception {
    EMirStop(RunEnd e, std::string text) : end(e), error(std::move(text)) {}
    const char* what() const noexcept override { return "Error"; }
    RunEnd end;
    std::string error;  // the outcome's text
};

// Removes a folder that holds nothing but empty folders (links are never followed: a link
// inside counts as content). True when it is gone.
bool removeEmptyTree(const std::string& folder)
{
    std::vector<DirEntry> entries;
    if (!readDirectoryInto(folder, false, entries))
        return false;
    for (const DirEntry& e : entries) {
        if (!(e.attr & faDirectory) || (e.attr & faReparsePoint) || !removeEmptyTree(joinPath(folder, e.name)))
            return false;
    }
    return removeDirectory(folder).ok();
}

}  // namespace

// The steps of one run, in order; each step leaves its results in the run's lists.
class RunBody {
public:
    RunBody(TMirror& mirror, RunOutcome& outcome)
        : removal_(), mirror_(mirror), host_(mirror.host_), outcome_(outcome), folder_(mirror.folder_),
          listPath_(folder_ + kListFileName), updatePath_(folder_ + kUpdateFileName),
          tablePath_(folder_ + kTableFileName), snap_(host_.takeSnapshot()),
          log_(snap_.LogFile, snap_.LogAppend, snap_.KeepLogFile), checks_(snap_.MirTopFolder)
    {
    }

    void execute()
    {
        outcome_.end = RunEnd::Completed;
        try {
            beginStep();
            if (evaluateStep()) {
                copyStep();
                deleteStep();
                dropStep();
                historyStep();
                saveStep();
            }
        } catch (const EMirStop& e) {
            outcome_.end = e.end;
            outcome_.error = e.error;
            if (e.end == RunEnd::Cancelled)
                ask(kCancelCaption, kCancelText, {});
        } catch (const EFOpenError& e) {
            outcome_.end = RunEnd::OpenError;
            outcome_.error = e.path + ": " + errorText(e.err);
            ask(kOpenErrorCaption, openErrorText(errorText(e.err)), e.path);
        } catch (const std::exception& e) {
            outcome_.end = RunEnd::Failed;
            outcome_.error = e.what();
        }
        reportStep();
        // The old generations go on being removed while the log is written; the run ends
        // when they are gone.
        removal_.join();
    }

private:
    // The phase's maximum, its position 0, and the phase itself unless it keeps the caption of
    // the one before (a copy or deletion phase with nothing to do).
    void beginPhase(RunPhase phase, size_t maximum, bool enter = true)
    {
        if (enter)
            phase_ = phase;
        maximum_ = maximum > INT_MAX ? INT_MAX : static_cast<int>(maximum);
        setPosition(0);
    }
    void setPosition(size_t position)
    {
        position_ = position > INT_MAX ? INT_MAX : static_cast<int>(position);
        mirror_.publish(phase_, position_, maximum_);
    }
    void poll()
    {
        if (mirror_.stopRequested())
            throw EMirStop{RunEnd::Cancelled, {}};
    }
    void ask(const std::string& caption, const std::string& text, const std::string& detail)
    {
        mirror_.prompt_.ask({caption, text, PromptIcon::Error, PromptButtons::Ok, PromptAnswer::Ok, nullptr, detail});
    }

    // The log's first lines, the update list and the table.
    void beginStep()
    {
        // The owner holds the program folder's run lock: no other writer of these files runs,
        // so a temporary file beside them was left by a run that was killed.
        for (const std::string* path : {&listPath_, &updatePath_, &tablePath_, &snap_.LogFile})
            removeStaleTemporaries(*path);
        for (const char* name : {kUsedTopsFileName, kMountPointsFileName})
            removeStaleTemporaries(folder_ + name);
        if (!log_.begin(snap_.standardRun, nowDateTime())) {
            log_.disableWrites();  // the unreadable old log must not be replaced
            throw EMirStop{RunEnd::Failed, "ログファイルを読み込めません: " + snap_.LogFile};
        }
        if (checks_.topProblem() != ItemProblem::None) {
            log_.addBadTopFolder(snap_.MirTopFolder);
            throw EMirStop{RunEnd::Failed, "ミラーリングのトップフォルダが完全なパスではありません: " + snap_.MirTopFolder};
        }
        claimTop();
        // A rotation that a killed run had committed to is finished first; the update list it
        // consumed is not read again, or the same files would go into history twice.
        // One that cannot be finished stops every run: a run that went on would save an update
        // list that the finished rotation must not take for its own.
        int err = 0;
        const HistoryRecovery recovery = recoverHistory(snap_.MirTopFolder, &err, &removal_);
        if (recovery == HistoryRecovery::Failed) {
            log_.addHistoryFailure(generationFolder(snap_.MirTopFolder, 1), err);
            throw EMirStop{RunEnd::Failed, "前回の履歴の更新を完了できません: " + snap_.MirTopFolder + ": " + errorText(err)};
        }
        if (recovery != HistoryRecovery::Finished)
            lists_.update.load(updatePath_);
        if (snap_.standardRun)
            table_.load(tablePath_);
        else
            (void)deleteFile(tablePath_);  // a table left behind is only read by a standard run
    }

    // Refuses a top folder that earlier runs wrote into and that is not there now (nothing is
    // written then, not even the log when it lies inside); makes a new one.
    void claimTop()
    {
        const std::string& top = snap_.MirTopFolder;
        const TopFolderState state = topFolderState(folder_, top);
        if (state == TopFolderState::Missing || state == TopFolderState::LostMirror) {
            const std::string text = topUnavailableText(top, state == TopFolderState::LostMirror);
            log_.addTopUnavailable(text);
            if (isSameOrInside(canonicalPath(snap_.LogFile), canonicalPath(top)))
                log_.disableWrites();
            throw EMirStop{RunEnd::TopUnavailable, text};
        }
        // Not fatal: without the marker or the memory the run still mirrors, as before them;
        // each copy that cannot be made is logged.
        if (const Status claimed = claimTopFolder(folder_, top); !claimed)
            saveFailure(claimed.path(), claimed.error());
    }

    // Reads the list and evaluates every due item. False when the list file has gone since
    // the run began: the run then ends with only the log's first and last lines.
    bool evaluateStep()
    {
        std::optional<ListReader> reader = ListReader::openIfExists(listPath_);
        if (!reader)
            return false;
        EvalContext ctx{snap_, table_, lists_, joinPath(snap_.MirTopFolder, "Latest"), mountPointsSeen(folder_)};
        beginPhase(RunPhase::Prepare, reader->count());
        MirrorItem item;
        for (size_t i = 1; i <= reader->count(); ++i) {
            phase_ = RunPhase::Check;
            setPosition(i);
            if (!reader->next(item))
                break;
            poll();
            if (item.runs() && (!snap_.standardRun || item.everyRun != 0)) {
                if (const ItemProblem problem = checks_.check(item); problem != ItemProblem::None) {
                    log_.addSkippedRecord(item.address, item.dest, problem);
                    ++outcome_.skippedItems;
                    continue;
                }
                const size_t errorsBefore = lists_.tableErrors.size();
                evaluateItem(item, ctx);
                for (size_t e = errorsBefore; e < lists_.tableErrors.size(); ++e)
                    ask(kStreamErrorCaption,
                        lists_.tableErrors[e] == TableBuffer::Lookup::SearchError ? kTableSearchErrorText
                                                                                   : kTableReadErrorText,
                        {});
            }
        }
        reader->close();
        if (!lists_.mountPoints.empty()) {
            if (const int err = rememberMountPoints(folder_, lists_.mountPoints); err != 0)
                saveFailure(folder_ + kMountPointsFileName, err);
        }
        for (const std::string& special : lists_.sourceNotes.specials)
            log_.addSpecial(special);
        for (const Status& folder : lists_.sourceNotes.unreadable)
            log_.addUnreadable(folder.path(), folder.error());
        outcome_.unreadableFolders = lists_.sourceNotes.unreadable.size();
        for (const UnavailableItem& u : lists_.unavailable)
            log_.addUnavailable(u.address, u.why == UnavailableItem::Why::Missing ? kSourceMissingText
                                           : u.why == UnavailableItem::Why::Kept  ? kSourceGoneKeptText
                                                                                  : kSourceEmptyText);
        outcome_.unavailableItems = lists_.unavailable.size();
        for (std::string& t : temporariesBeside(lists_.fileTargets))
            lists_.staleTemporaries.push_back(std::move(t));
        // On disk before anything is copied: a run that is killed or cancelled on the way
        // still leaves every file it may have changed in Latest on the list for History1.
        saveUpdateList();
        return true;
    }

    void copyStep()
    {
        const RunQueues& queues = lists_.queues;
        const size_t count = queues.copies();
        beginPhase(RunPhase::Mirror, count, count > 0);
        if (count == 0)
            return;
        PairedCopies copier(checks_.latest());
        PairedCopies::Hooks hooks;
        hooks.entry = [&](size_t k, PairedCopies::Entry& e) {
            e = {queues.source(k), queues.destination(k)};
            return true;
        };
        hooks.before = [&](size_t k) {
            if (snap_.KeepLogFile)
                log_.save();
            poll();
            setPosition(k + 1);
        };
        hooks.done = [&](size_t k, const PairedCopies::Entry& e, int err) {
            // A folder of the mirror where the source now has a file or a link: once the
            // deletion step has emptied it, the copy takes its place.
            if (err == EISDIR)
                deferred_.push_back(k);
            else
                logCopy(e.source, e.destination, err);
        };
        copier.run(count, hooks);
    }

    void logCopy(const std::string& source, const std::string& destination, int err)
    {
        log_.addCopy(source, destination, err);
        ++outcome_.copies;
        outcome_.failedCopies += err != 0;
        unsynced_ = unsynced_ || err == 0;
    }

    void deferredCopies()
    {
        if (deferred_.empty())
            return;
        CopyStep copier(checks_.latest());
        for (const size_t k : deferred_) {
            poll();
            const std::string source = lists_.queues.source(k), destination = lists_.queues.destination(k);
            logCopy(source, destination, removeEmptyTree(destination) ? copier.copy(source, destination) : EISDIR);
        }
    }

    // The copies made so far reach the disk before anything records them as done.
    void makeDurable()
    {
        if (unsynced_ && snap_.durable)
            (void)syncFileSystem(snap_.MirTopFolder);  // a failure here leaves the copies as durable as before
        unsynced_ = false;
    }

    void deleteStep()
    {
        // The scraps of copies a killed run left in the mirror: the program's own, not logged.
        for (const std::string& tmp : lists_.staleTemporaries)
            (void)deleteFile(tmp);
        const size_t count = lists_.queues.deletions();
        beginPhase(RunPhase::Delete, count, count > 0);
        if (count > 0)
            log_.add({});
        for (size_t k = 0; k < count; ++k) {
            poll();
            setPosition(k + 1);
            const std::string path = lists_.queues.deletion(k);
            const int err = deleteFile(path).error();
            log_.addDeletion(path, err);
            ++outcome_.deletions;
            outcome_.failedDeletions += err != 0;
        }
        deferredCopies();
    }

    void dropStep()
    {
        if (lists_.dropped.empty())
            return;
        outcome_.droppedItems = dropItems(folder_, lists_.dropped);
        log_.add({});
        std::unordered_set<std::string> noted;  // an address listed twice is noted once
        for (const std::string& address : lists_.dropped) {
            if (noted.insert(address).second)
                log_.addDropped(address);
        }
    }

    void historyStep()
    {
        if (snap_.standardRun)
            return;
        HistoryStep history(snap_.MirTopFolder, snap_.LimitHistory, lists_.update, &removal_);
        beginPhase(RunPhase::History, history.steps());
        HistoryHooks hooks;
        hooks.advance = [this] { setPosition(position_ + 1u); };
        hooks.copyFailed = [this](const std::string& src, const std::string& dst, int err) {
            if (outcome_.failedHistory++ == 0)
                log_.add({});
            log_.addCopy(src, dst, err);
        };
        // The new generation's copies, and any of Latest, before the plan records them.
        hooks.beforeCommit = [this] {
            unsynced_ = true;
            makeDurable();
        };
        // Saved at once: a run that ends here in any way must not rotate the same files again.
        hooks.committed = [this] {
            lists_.update.clear();
            saveUpdateList();
        };
        const HistoryResult result = history.run(hooks);
        if (result.commitError != 0) {
            log_.addHistoryFailure(generationFolder(snap_.MirTopFolder, 1), result.commitError);
            ++outcome_.failedHistory;
        }
        if (snap_.LimitHistory > 0)
            log_.addHistory(result.stored);
        if (result.placed && !history.rotates()) {
            lists_.update.clear();
            saveUpdateList();
        }
        poll();
    }

    // A save that still fails is logged: the next run starts from the old files. Files that
    // would be rewritten with the same bytes are left alone: a standard run with nothing new
    // writes neither (a table of 100,000 files is 25 MB).
    void saveStep()
    {
        makeDurable();
        if (table_.needsSave())
            saveOwnFile(tablePath_, [&] { return table_.save(tablePath_); });
        saveUpdateList();
    }

    void saveUpdateList()
    {
        if (lists_.update.needsSave())
            saveOwnFile(updatePath_, [&] { return lists_.update.save(updatePath_); });
    }

    // A failed save is logged once per file and the run goes on.
    template <typename Save>
    void saveOwnFile(const std::string& path, Save save)
    {
        if (const int err = retryAttempts(save); err != 0)
            saveFailure(path, err);
    }
    void saveFailure(const std::string& path, int err)
    {
        if (saveFailures_.insert(path).second)
            log_.addSaveFailure(path, err);
    }

    // The end of every run that began: the host is told, and the log gets its last line.
    void reportStep()
    {
        host_.notifyEnd();
        host_.setBusyCursor(false);
        log_.end(nowDateTime());
        if (snap_.KeepLogFile)
            log_.save();
        // The log is where the user looks for what went wrong: losing it is said at once.
        if (const int err = log_.writeError(); err != 0) {
            outcome_.logError = errorText(err);
            ask(kLogWriteErrorCaption, logWriteErrorText(snap_.LogFile, outcome_.logError), snap_.LogFile);
        }
    }

    // First: it is joined last, after everything else of the run has let go.
    BackgroundRemoval removal_;
    TMirror& mirror_;
    MirrorHost& host_;
    RunOutcome& outcome_;
    const std::string& folder_;
    const std::string listPath_, updatePath_, tablePath_;
    const MirrorSnapshot snap_;
    RunLists lists_;
    TableBuffer table_;
    MirrorLog log_;
    const RecordCheck checks_;
    std::unordered_set<std::string> saveFailures_;
    std::vector<size_t> deferred_;  // copies that wait for the deletions to empty a folder
    bool unsynced_ = false;         // copies made since the last sync of the top folder
    RunPhase phase_ = RunPhase::Prepare;
    int position_ = 0;
    int maximum_ = 0;
};

TMirror::TMirror(MirrorHost& host, Prompt& prompt, std::string programFolder, int taskPriority)
    : host_(host), prompt_(prompt), folder_(includeTrailingDelimiter(programFolder)), taskPriority_(taskPriority)
{
}

TMirror::~TMirror()
{
    if (thread_.joinable())
        thread_.join();
}

RunOutcome TMirror::run()
{
    RunOutcome outcome;
    if (!pathExists(folder_ + kListFileName))
        return outcome;
    host_.setBusyCursor(true);
    RunBody(*this, outcome).execute();
    return outcome;
}

void TMirror::start(std::function<void()> onEnd)
{
    thread_ = std::thread([this, onEnd = std::move(onEnd)] {
        applyTaskPriority(taskPriority_);
        RunOutcome outcome = run();
        {
            std::lock_guard<std::mutex> lock(endMutex_);
            outcome_ = std::move(outcome);
            ended_ = true;
        }
        endCv_.notify_all();
        if (onEnd)
            onEnd();
    });
}

RunOutcome TMirror::join()
{
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> lock(endMutex_);
    return outcome_;
}

bool TMirror::waitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(endMutex_);
    return endCv_.wait_for(lock, timeout, [this] { return ended_; });
}

void TMirror::publish(RunPhase phase, int position, int maximum)
{
    // A reader that sees any of the new values also sees the odd count stored before them.
    const unsigned seq = progressSeq_.load(std::memory_order_relaxed);
    progressSeq_.store(seq + 1, std::memory_order_relaxed);
    phase_.store(static_cast<int>(phase), std::memory_order_release);
    position_.store(position, std::memory_order_release);
    maximum_.store(maximum, std::memory_order_release);
    progressSeq_.store(seq + 2, std::memory_order_release);
    host_.progressChanged({phase, position, maximum});
}

RunProgress TMirror::progress() const
{
    for (;;) {
        const unsigned before = progressSeq_.load(std::memory_order_acquire);
        RunProgress p{static_cast<RunPhase>(phase_.load(std::memory_order_acquire)),
                      position_.load(std::memory_order_acquire), maximum_.load(std::memory_order_acquire)};
        if ((before & 1u) == 0 && progressSeq_.load(std::memory_order_relaxed) == before)
            return p;
        std::this_thread::yield();
    }
}

}  // namespace renvo
