#include "engine/History.h"

#include "engine/CopyStep.h"
#include "platform/CanonicalPath.h"
#include "platform/FileSys.h"
#include "platform/Path.h"
#include "platform/RemoveTree.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace renvo {

namespace {

constexpr std::string_view kGenerationPrefix = "History";
// Where the new History1 is made, where the oldest generation waits for its removal, and the
// plan of a rotation under way: hidden and no generation names.
constexpr char kNewGenerationName[] = ".History1.rvtmp";
constexpr char kOldGenerationName[] = ".HistoryOld.rvtmp";
constexpr char kPlanName[] = ".HistoryPlan.rvtmp";
constexpr std::string_view kOldPrefix = ".HistoryOld";
constexpr std::string_view kWorkSuffix = ".rvtmp";

// Where a generation above the limit waits for its removal.
std::string oldGenerationName(int64_t n)
{
    return std::string(kOldPrefix) + std::to_string(n) + std::string(kWorkSuffix);
}

// A folder renamed aside is removed on the run's second thread when there is one.
void removeAside(const std::string& folder, BackgroundRemoval* background)
{
    if (background)
        background->remove(folder);
    else
        removeTree(folder);
}

}  // namespace

bool isOldGenerationName(std::string_view name)
{
    if (!name.starts_with(kOldPrefix) || !name.ends_with(kWorkSuffix) ||
        name.size() < kOldPrefix.size() + kWorkSuffix.size())
        return false;
    const std::string_view digits = name.substr(kOldPrefix.size(), name.size() - kOldPrefix.size() - kWorkSuffix.size());
    if (digits.empty())
        return true;
    return digits[0] != '0' && digits.size() <= 18 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int64_t generationNumber(const std::string& name)
{
    if (name.size() <= kGenerationPrefix.size() || name.compare(0, kGenerationPrefix.size(), kGenerationPrefix) != 0)
        return 0;
    const std::string_view digits = std::string_view(name).substr(kGenerationPrefix.size());
    if (digits.size() > 18 || digits[0] == '0')
        return 0;
    int64_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool isHistoryWorkName(std::string_view name)
{
    return name.size() > 8 && name.substr(0, 8) == ".History" && name.ends_with(".rvtmp");
}

std::string generationFolder(const std::string& top, int64_t n)
{
    return joinPath(top, std::string(kGenerationPrefix) + std::to_string(n));
}

std::vector<int64_t> generationsPresent(const std::string& top)
{
    std::vector<int64_t> out;
    for (const DirEntry& e : readDirectory(top, false)) {
        if (const int64_t n = generationNumber(e.name); n > 0)
            out.push_back(n);
    }
    std::sort(out.begin(), out.end());
    return out;
}

namespace {

// A rotation's plan: renames carried out in order. Each folder is renamed once, and every
// target is free when its turn comes (it never existed or an earlier rename emptied it).
struct Rename {
    std::string from, to;  // names in the top folder
};

std::string planText(const std::vector<Rename>& plan)
{
    std::string text;
    for (const Rename& r : plan)
        text += r.from + '\t' + r.to + '\n';
    return text;
}

bool parsePlan(const std::string& text, std::vector<Rename>& plan)
{
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return false;  // written whole or not at all: a cut line is damage
        const std::string line = text.substr(start, end - start);
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            return false;
        Rename r{line.substr(0, tab), line.substr(tab + 1)};
        // Only names the step itself makes: a plan can never move anything else.
        for (const std::string* name : {&r.from, &r.to}) {
            if (generationNumber(*name) == 0 && !isHistoryWorkName(*name))
                return false;
        }
        plan.push_back(std::move(r));
        start = end + 1;
    }
    return !plan.empty();
}

// Carries a plan out from where a kill stopped it. A folder that has been renamed is gone
// from its old name until a later rename of the plan fills that name again, so the last
// rename whose source is missing is the last one done; the ones after it are still due.
int carryOut(const std::string& top, const std::vector<Rename>& plan, const std::function<void()>& advance,
             BackgroundRemoval* background)
{
    size_t next = 0;
    for (size_t i = plan.size(); i-- > 0;) {
        if (!pathExists(joinPath(top, plan[i].from))) {
            next = i + 1;
            break;
        }
    }
    for (size_t i = next; i < plan.size(); ++i) {
        const int err = renamePath(joinPath(top, plan[i].from), joinPath(top, plan[i].to)).error();
        if (err != 0 && err != ENOENT)
            return err;
        if (advance && plan[i].to != kOldGenerationName && plan[i].from != kNewGenerationName)
            advance();
    }
    // The renames are on disk before the plan goes.
    (void)syncFolder(top);  // should it fail, the renames are as durable as the system makes them anyway
    const int err = deleteFile(joinPath(top, kPlanName)).error();
    // Once the plan is gone, the oldest generation is a leftover that the next run removes
    // should this removal not finish.
    if (err == 0)
        removeAside(joinPath(top, kOldGenerationName), background);
    return err;
}

}  // namespace

HistoryRecovery recoverHistory(const std::string& top, int* err, BackgroundRemoval* background)
{
    const std::string planPath = joinPath(top, kPlanName);
    std::string text;
    if (readWholeFile(planPath, text, {true, 1 << 20})) {
        std::vector<Rename> plan;
        int e = parsePlan(text, plan) ? carryOut(top, plan, {}, background) : EINVAL;
        if (err)
            *err = e;
        return e == 0 ? HistoryRecovery::Finished : HistoryRecovery::Failed;
    }
    removeStaleTemporaries(planPath);
    bool cleaned = false;
    // A new generation that was never put in place goes before this run makes its own there.
    if (const std::string staging = joinPath(top, kNewGenerationName); pathExists(staging)) {
        removeTree(staging);
        cleaned = true;
    }
    for (const DirEntry& e : readDirectory(top, false)) {
        if (isOldGenerationName(e.name)) {
            removeAside(joinPath(top, e.name), background);
            cleaned = true;
        }
    }
    return cleaned ? HistoryRecovery::Cleaned : HistoryRecovery::Nothing;
}

HistoryStep::HistoryStep(std::string top, int32_t limitHistory, const UpdateList& updated,
                         BackgroundRemoval* background)
    : top_(std::move(top)), latest_(joinPath(top_, "Latest")), limit_(limitHistory), updated_(updated),
      background_(background), present_(generationsPresent(top_))
{
    if (limit_ > 0 && directoryExists(latest_)) {
        rotates_ = std::any_of(updated_.paths().begin(), updated_.paths().end(),
                               [&](std::string_view rel) { return pathExists(joinPath(latest_, rel)); });
        if (!rotates_) {
            removesAbove_ = false;
            return;
        }
        steps_ = static_cast<size_t>(std::count_if(present_.begin(), present_.end(),
                                                   [&](int64_t n) { return n < limit_; })) +
                 updated_.size();
    }
    ++steps_;
}

HistoryResult HistoryStep::run(const HistoryHooks& hooks)
{
    HistoryResult result;
    if (rotates_) {
        const std::string staging = joinPath(top_, kNewGenerationName);
        const std::string newest = generationFolder(top_, 1);
        const int err = forceDirectories(staging).error();
        // Two copies in flight, as in the copy phase. A link copied into the new generation
        // never carries a later copy out of it.
        PairedCopies copier(canonicalPath(staging));
        auto failed = [&](const PairedCopies::Entry& e, int copyErr) {
            ++result.failed;
            if (hooks.copyFailed)
                hooks.copyFailed(e.source, joinPath(newest, e.destination.substr(staging.size() + 1)), copyErr);
        };
        PairedCopies::Hooks paired;
        auto next = updated_.paths().begin();
        // One step per updated file, once its copy has ended (or at once without one).
        auto advance = [&] {
            if (hooks.advance)
                hooks.advance();
        };
        paired.before = [](size_t) {};
        paired.entry = [&](size_t, PairedCopies::Entry& e) {
            const std::string_view rel = *next++;
            e.source = joinPath(latest_, rel);
            if (!pathExists(e.source)) {
                advance();
                return false;
            }
            e.destination = joinPath(staging, rel);
            if (err == 0)
                return true;
            failed(e, err);  // no copy without the folder for the new generation
            advance();
            return false;
        };
        paired.done = [&](size_t, const PairedCopies::Entry& e, int copyErr) {
            if (copyErr == 0)
                ++result.stored;
            else
                failed(e, copyErr);
            advance();
        };
        copier.run(updated_.size(), paired);
        if (result.failed == 0) {
            // A leftover of the names the rotation moves folders to must be gone first.
            if (background_)
                background_->join();
            result.commitError = rotate(hooks);
        }
        if (result.failed != 0 || result.commitError != 0) {
            // Nothing moved: the files stay listed and the generations stay whole.
            if (!pathExists(joinPath(top_, kPlanName)))
                removeTree(staging);
            result.placed = false;
            result.stored = 0;
            return result;
        }
    }
    if (!removesAbove_)
        return result;
    if (hooks.advance)
        hooks.advance();
    // The generations above the limit, up to the first number that is missing (a negative
    // limit, from a damaged setting, removes none).
    int64_t next = static_cast<int64_t>(limit_) + 1;
    for (int64_t n : present_) {
        if (n < next)
            continue;
        if (n != next)
            break;
        // Renamed aside at once, so the numbers above the limit are free when the step ends;
        // one that cannot be moved (a leftover in the way) is removed where it is.
        const std::string aside = joinPath(top_, oldGenerationName(n));
        if (renamePath(generationFolder(top_, n), aside))
            removeAside(aside, background_);
        else
            removeTree(generationFolder(top_, n));
        ++next;
    }
    return result;
}

int HistoryStep::rotate(const HistoryHooks& hooks)
{
    // The oldest generation is moved aside at once and removed at the end; then History2
    // moves to History3 before History1 takes its place, newest last.
    std::vector<Rename> plan;
    auto above = std::lower_bound(present_.begin(), present_.end(), static_cast<int64_t>(limit_));
    if (above != present_.end() && *above == limit_)
        plan.push_back({"History" + std::to_string(limit_), kOldGenerationName});
    for (auto it = std::make_reverse_iterator(above); it != present_.rend(); ++it)
        plan.push_back({"History" + std::to_string(*it), "History" + std::to_string(*it + 1)});
    plan.push_back({kNewGenerationName, "History1"});
    if (hooks.beforeCommit)
        hooks.beforeCommit();
    if (const int err = writeFileAtomic(joinPath(top_, kPlanName), planText(plan)).error(); err != 0)
        return err;
    if (hooks.committed)
        hooks.committed();
    return carryOut(top_, plan, hooks.advance, background_);
}

}  // namespace renvo
