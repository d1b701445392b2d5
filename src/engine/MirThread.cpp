#include "engine/MirThread.h"

#include "engine/CopyStep.h"
#include "engine/Evaluate.h"
#include "engine/History.h"
#include "engine/ListFile.h"
#include "engine/MirrorLog.h"
#include "engine/TableFile.h"
#include "platform/DateTime.h"
#include "platform/FileSys.h"
#include "platform/OpenRetry.h"
#include "platform/Path.h"
#include "platform/Program.h"

#include <exception>
#include <unordered_set>

namespace renvo {

namespace {

template <typename Save>
void retrySave(Save save)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (save() == 0)
            return;
    }
}

}  // namespace

MirrorSnapshot snapshotOf(const TSettings& s, bool standardRun)
{
    MirrorSnapshot snap;
    snap.standardRun = standardRun;
    snap.LogAppend = s.LogAppend;
    snap.KeepLogFile = s.KeepLogFile;
    snap.LogFile = s.LogFile;
    snap.LimitHistory = s.LimitHistory;
    snap.DelOnNotExists = s.DelOnNotExists;
    snap.MirTopFolder = s.MirTopFolder;
    snap.FolderOption = s.FolderOption;
    return snap;
}

TMirror::TMirror(MirrorHost& host, std::string programFolder, int taskPriority)
    : host_(host), folder_(includeTrailingDelimiter(programFolder)), taskPriority_(taskPriority)
{
}

TMirror::~TMirror()
{
    join();
}

const char* TMirror::phaseCaption(int phase)
{
    switch (phase) {
    case phPrepare: return "準備しています...";
    case phCheck: return "ファイルをチェックしています...";
    case phMirror: return "ミラーリングしています...";
    case phDelete: return "不要なファイルを削除しています...";
    case phHistory: return "履歴を更新しています...";
    default: return "";
    }
}

void TMirror::start(std::function<void(const RunOutcome&)> onTerminate)
{
    // The end handler may free this object, which looks at thread_: it waits until the
    // thread object has been stored.
    std::lock_guard<std::mutex> storing(startMutex_);
    thread_ = std::thread([this, onTerminate = std::move(onTerminate)] {
        applyTaskPriority(taskPriority_);
        const RunOutcome outcome = run();
        { std::lock_guard<std::mutex> stored(startMutex_); }
        if (onTerminate)
            onTerminate(outcome);
    });
}

void TMirror::join()
{
    if (!thread_.joinable())
        return;
    // Freed by its own end handler: the thread cannot wait for itself, and a joinable
    // thread object must not be destroyed.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void TMirror::report()
{
    host_.reportProgress(phase_, position_, maximum_);
}

void TMirror::poll()
{
    if (host_.pollStop())
        throw EMirStop{};
}

RunOutcome TMirror::run()
{
    RunOutcome outcome;
    const std::string listPath = folder_ + kListFileName;
    if (!pathExists(listPath))
        return outcome;
    host_.setBusyCursor(true);
    body(outcome);
    return outcome;
}

void TMirror::body(RunOutcome& outcome)
{
    const std::string listPath = folder_ + kListFileName;
    const MirrorSnapshot snap = host_.takeSnapshot();
    RunLists lists;
    TableBuffer table;
    MirrorLog log(snap.LogFile, snap.LogAppend, snap.KeepLogFile);
    outcome.end = RunEnd::Completed;

    try {
        if (!log.begin(snap.standardRun, nowDateTime())) {
            log.disableWrites();  // the unreadable old log must not be replaced
            throw std::runtime_error("the log file cannot be read: " + snap.LogFile);
        }
        const std::string updatePath = folder_ + kUpdateFileName;
        const std::string tablePath = folder_ + kTableFileName;
        lists.update.load(updatePath);
        if (snap.standardRun)
            table.load(tablePath);
        else
            deleteFile(tablePath);

        if (pathExists(listPath)) {
            EvalContext ctx{snap, table, host_, lists, joinPath(snap.MirTopFolder, "Latest")};
            {
                ListReader reader(listPath);
                phase_ = phPrepare;
                maximum_ = static_cast<int>(reader.count());
                position_ = 0;
                report();
                MirrorItem item;
                for (size_t i = 1; i <= reader.count(); ++i) {
                    position_ = static_cast<int>(i);
                    phase_ = phCheck;
                    report();
                    if (!reader.next(item))
                        break;
                    poll();
                    if (item.runs() && (!snap.standardRun || item.everyRun != 0))
                        evaluateItem(item, ctx);
                }
            }

            for (const UnreadableFolder& folder : lists.unreadable)
                log.addUnreadable(folder.path, folder.err);

            if (!lists.sources.empty())
                phase_ = phMirror;
            maximum_ = static_cast<int>(lists.sources.size());
            position_ = 0;
            report();
            CopyStep copier;
            for (size_t k = 0; k < lists.sources.size(); ++k) {
                if (snap.KeepLogFile)
                    log.save();
                poll();
                position_ = static_cast<int>(k + 1);
                report();
                const int err = copier.copy(lists.sources[k], lists.destinations[k]);
                log.addCopy(lists.sources[k], lists.destinations[k], err);
                ++outcome.copies;
                outcome.failedCopies += err != 0;
            }

            if (!lists.deletions.empty()) {
                phase_ = phDelete;
                log.add({});
            }
            maximum_ = static_cast<int>(lists.deletions.size());
            position_ = 0;
            report();
            for (size_t k = 0; k < lists.deletions.size(); ++k) {
                poll();
                position_ = static_cast<int>(k + 1);
                report();
                const int err = deleteFile(lists.deletions[k]);
                log.addDeletion(lists.deletions[k], err);
                ++outcome.deletions;
                outcome.failedDeletions += err != 0;
            }

            if (!lists.dropped.empty()) {
                outcome.droppedItems = dropItems(folder_, lists.dropped);
                log.add({});
                std::unordered_set<std::string> noted;  // an address listed twice is noted once
                for (const std::string& address : lists.dropped) {
                    if (noted.insert(address).second)
                        log.add("登録削除: " + address);
                }
            }
            if (!snap.standardRun) {
                maximum_ = static_cast<int>(lists.update.size()) + snap.LimitHistory;
                position_ = 0;
                phase_ = phHistory;
                report();
                if (snap.LimitHistory > 0)
                    log.addHistory(lists.update.size());
                historyStep(snap.MirTopFolder, snap.LimitHistory, lists.update, [this] {
                    ++position_;
                    report();
                });
                poll();
                lists.update.clear();
            }
            // A save that still fails is dropped: the next run starts from the old files.
            // Files that would be rewritten with the same bytes are left alone: a standard run
            // with nothing new writes neither (a table of 100,000 files is 25 MB).
            if (table.needsSave())
                retrySave([&] { return table.save(tablePath); });
            if (lists.update.needsSave())
                retrySave([&] { return lists.update.save(updatePath); });
        }
    } catch (const EMirStop&) {
        outcome.end = RunEnd::Cancelled;
        host_.showError("ミラーリング中止",
                        "キャンセルしました\r\n\r\n途中でミラーリングできなかったファイルが存在します\r\n"
                        "近いうちに再実行して下さい",
                        {});
    } catch (const EFOpenError& e) {
        outcome.end = RunEnd::OpenError;
        outcome.error = e.path + ": " + errorText(e.err);
        host_.showError("ファイルオープンエラー",
                        "例外 EFOpenError が発生しました\r\n原因> " + errorText(e.err) +
                            "\r\n\r\n念のため Renvo を再起動後，再度実行して下さい",
                        e.path);
    } catch (const std::exception& e) {
        outcome.end = RunEnd::Failed;
        outcome.error = e.what();
    }

    host_.notifyEnd();
    host_.setBusyCursor(false);
    log.end(nowDateTime());
    if (snap.KeepLogFile)
        log.save();
}

}  // namespace renvo
