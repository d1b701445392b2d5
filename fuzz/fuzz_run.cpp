// Whole runs over a hostile list file and settings. The input picks a few records (addresses,
// destinations, masks, flags, options, with "..", "/", the top folder, NUL bytes and links
// among them) and the settings of up to three runs in a row, made on a small real tree. After
// each run nothing outside <top>/Latest and <top>/History* may have been deleted, changed or
// added: not at a source, not beside the top folder, not in the program folder (but for the
// run's own files), and the list file only loses records that the run dropped. The input
// also writes the run's own update list and table, as a damaged program folder holds them.

#include <fuzzer/FuzzedDataProvider.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "engine/ListFile.h"
#include "engine/MirThread.h"
#include "engine/MirrorHost.h"
#include "engine/TableFile.h"
#include "engine/TopFolder.h"
#include "platform/FileNames.h"
#include "prompt/Prompt.h"

using namespace renvo;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kStamp = 1600000000;  // the sources' modification time

// The tree, all below the scratch folder `root`, which holds nothing else: a destination
// with three ".." parts reaches root and no further.
struct Tree {
    std::string root, base, prog, src, docs, top, latest;
};

const Tree& tree()
{
    static const Tree t = [] {
        Tree t;
        t.root = fs::canonical(fuzz::scratchFolder("fuzz_run")).string();
        t.base = t.root + "/w";
        t.prog = t.base + "/prog";
        t.src = t.base + "/src";
        t.docs = t.base + "/documents";
        t.top = t.base + "/top";
        t.latest = t.top + "/Latest";
        return t;
    }();
    return t;
}

void file(const std::string& path, const std::string& content, int64_t mtime = kStamp, mode_t mode = 0644)
{
    fs::create_directories(fs::path(path).parent_path());
    fuzz::putFile(path, reinterpret_cast<const uint8_t*>(content.data()), content.size());
    ::chmod(path.c_str(), mode);
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    FUZZ_CHECK(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
}

void link(const std::string& target, const std::string& path)
{
    fs::create_directories(fs::path(path).parent_path());
    FUZZ_CHECK(::symlink(target.c_str(), path.c_str()) == 0);
}

// The same tree for every input: sources with links (absolute and relative, to a folder and
// to a file) and a pipe, documents beside them, a mirror with an old copy, an orphan and a
// link out of Latest, generations with a file and a link among them.
void buildTree()
{
    const Tree& t = tree();
    std::error_code ec;
    fs::remove_all(t.base, ec);
    FUZZ_CHECK(!ec);
    file(t.prog + "/Renvo", "the program");
    file(t.prog + "/notes.txt", "notes");
    file(t.src + "/a.txt", "a");
    file(t.src + "/b.dat", "b");
    file(t.src + "/ro.txt", "read-only", kStamp, 0444);
    file(t.src + "/sub/c.txt", "c");
    file(t.src + "/sub/deep/d.txt", "d");
    file(t.src + "/sub/.dot.txt", "dot");
    file(t.src + "/.hidden/h.txt", "h");
    link(t.docs, t.src + "/abslink");
    link("../documents", t.src + "/rellink");
    link(t.docs + "/letter.txt", t.src + "/filelink");
    FUZZ_CHECK(::mkfifo((t.src + "/pipe").c_str(), 0644) == 0);
    file(t.docs + "/letter.txt", "letter");
    file(t.docs + "/sub/x.txt", "x");
    file(t.base + "/beside.txt", "beside the top folder");
    file(t.top + "/beside.txt", "in the top folder");
    file(t.latest + "/a.txt", "old a", kStamp - 1000);
    file(t.latest + "/gone.txt", "orphan");
    file(t.latest + "/sub/c.txt", "c");
    file(t.latest + "/old/z.txt", "z");
    link(t.docs, t.latest + "/out");
    link(t.docs + "/sub", t.latest + "/deeplink");
    file(t.top + "/History1/a.txt", "older a");
    file(t.top + "/History2/b.dat", "older b");
    file(t.top + "/History3", "a file where a generation belongs");
    link(t.docs, t.top + "/History4");
    file(t.top + "/History6/q.txt", "q");
    file(t.top + "/Historyx/y.txt", "y");
}

// What must not change: every entry below root outside Latest and History*, but for the
// program folder's own files. Folders by kind and mode, files by mode, stamp and content,
// links by target.
using Snapshot = std::map<std::string, std::string>;

bool ownFile(const std::string& name)
{
    for (const char* own : {kListFileName, kUpdateFileName, kTableFileName, kLogFileName, kRunLockFileName,
                            kUsedTopsFileName, kMountPointsFileName}) {
        if (name == own)
            return true;
        const std::string tmp = "." + std::string(own) + ".rvtmp-";
        if (name.compare(0, tmp.size(), tmp) == 0)
            return true;
    }
    return false;
}

// The top folder's entries a run works in: Latest, History*, the marker and the history's
// work folders, and all below them.
bool mayChange(const std::string& inTop)
{
    const std::string first = inTop.substr(0, inTop.find('/'));
    return isMirrorEntry(first) || first.compare(0, 7, "History") == 0;
}

Snapshot snapshot()
{
    const Tree& t = tree();
    Snapshot out;
    const std::string topRel = t.top.substr(t.root.size() + 1) + "/";
    const std::string progRel = t.prog.substr(t.root.size() + 1) + "/";
    for (auto it = fs::recursive_directory_iterator(t.root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        const std::string rel = path.substr(t.root.size() + 1);
        if (rel.compare(0, topRel.size(), topRel) == 0 && mayChange(rel.substr(topRel.size()))) {
            if (it->is_directory() && !it->is_symlink())
                it.disable_recursion_pending();
            continue;
        }
        if (rel.compare(0, progRel.size(), progRel) == 0 && rel.find('/', progRel.size()) == std::string::npos &&
            ownFile(rel.substr(progRel.size())))
            continue;
        struct stat st {};
        FUZZ_CHECK(::lstat(path.c_str(), &st) == 0);
        std::string state = std::to_string(st.st_mode);
        if (S_ISLNK(st.st_mode)) {
            state += " -> " + fs::read_symlink(it->path()).string();
        } else if (S_ISREG(st.st_mode)) {
            state += " " + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
                     fuzz::getFile(path);
        }
        out.emplace(rel, std::move(state));
    }
    return out;
}

void expectUnchanged(const Snapshot& before, const Snapshot& after, int run, const std::vector<std::string>& boxes)
{
    bool same = true;
    for (const auto& [rel, state] : before) {
        auto it = after.find(rel);
        if (it == after.end()) {
            std::fprintf(stderr, "run %d deleted %s\n", run, rel.c_str());
            same = false;
        } else if (it->second != state) {
            std::fprintf(stderr, "run %d changed %s\n", run, rel.c_str());
            same = false;
        }
    }
    for (const auto& [rel, state] : after) {
        if (!before.count(rel)) {
            std::fprintf(stderr, "run %d made %s\n", run, rel.c_str());
            same = false;
        }
    }
    if (!same) {
        for (const std::string& caption : boxes)
            std::fprintf(stderr, "run %d asked: %s\n", run, caption.c_str());
    }
    FUZZ_CHECK(same);
}

// True when `inner` is `outer` or below it (both normal absolute paths).
bool within(const fs::path& inner, const fs::path& outer)
{
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty())
            continue;  // the empty part after a trailing delimiter
        if (i == inner.end() || *i != *o)
            return false;
    }
    return true;
}

// The fuzzer's own fence, independent of the engine's checks: an address that names
// something outside the scratch folder (other than a folder holding it, which the run must
// skip as holding the top folder) is replaced by a missing one, so that no run walks the
// machine. The engine sees the text up to a NUL byte only.
std::string fenced(const std::string& address)
{
    const Tree& t = tree();
    const std::string text = address.substr(0, address.find('\0'));
    std::error_code ec;
    if (text.empty())
        return address;
    if (text[0] != '/') {
        // A relative address would count from the working folder: only ones naming nothing.
        const fs::path p = fs::weakly_canonical(fs::absolute(text, ec), ec);
        return !ec && !fs::exists(fs::symlink_status(p)) ? address : t.base + "/missing";
    }
    const fs::path p = fs::weakly_canonical(text, ec);
    if (ec)
        return t.base + "/missing";
    return within(p, t.root) || within(t.root, p) ? address : t.base + "/missing";
}

// A destination whose folder lies outside the scratch folder (through the link in Latest and
// ".." parts) is kept out the same way.
std::string fencedDest(const std::string& dest)
{
    const Tree& t = tree();
    const std::string text = dest.substr(0, dest.find('\0'));
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(t.latest + "/" + text, ec);
    return !ec && within(p, t.root) ? dest : "";
}

std::string pick(FuzzedDataProvider& in, const std::vector<std::string>& words)
{
    return words[in.ConsumeIntegralInRange<size_t>(0, words.size() - 1)];
}

// A path part: a word, "..", ".", an empty part, a NUL byte, or any bytes without a delimiter.
std::string part(FuzzedDataProvider& in)
{
    static const std::vector<std::string> words{
        "..", ".", "", "sub", "a.txt", "deep", "Latest", "History1", "History4", "c.txt", "letter.txt",
        "out", "deeplink", "abslink", "rellink", "pipe", "beside.txt", std::string("a\0b", 3), std::string(1, '\0'), "*"};
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        std::string raw = in.ConsumeRandomLengthString(16);
        for (char& c : raw) {
            if (c == '/')
                c = '_';
        }
        return raw;
    }
    return pick(in, words);
}

// Mostly a folder or file of the tree as it is (sources first, then the places a run must
// not take as one), sometimes with parts added.
std::string address(FuzzedDataProvider& in)
{
    const Tree& t = tree();
    const std::vector<std::string> sources{t.src, t.src + "/sub", t.src + "/a.txt", t.src + "/abslink",
                                           t.docs, t.src + "/", t.src + "/rellink", t.prog};
    const std::vector<std::string> others{
        t.src + "/ro.txt", t.src + "/filelink", t.src + "/pipe", t.src + "/.hidden", t.docs + "/letter.txt",
        t.top, t.latest, t.latest + "/a.txt", t.top + "/History1", t.top + "/History4", t.top + "/beside.txt",
        t.base, t.base + "/beside.txt", t.prog + "/notes.txt", t.base + "/missing", t.root, "/", "", "relative",
        "src/a.txt", t.top + "/../top", t.latest + "/out", t.latest + "/deeplink"};
    std::string a = in.ConsumeBool() ? pick(in, sources) : pick(in, others);
    if (in.ConsumeBool()) {
        for (int n = in.ConsumeIntegralInRange(1, 3); n > 0; --n)
            a += "/" + part(in);
    }
    return fenced(a);
}

// Mostly one of the destinations a damaged or hostile list holds (through the links in
// Latest, out of it, into a generation), sometimes parts put together.
std::string destination(FuzzedDataProvider& in)
{
    static const std::vector<std::string> dests{
        "d", "d/e", "out", "out/sub", "deeplink", "..", "../..", "../../..", "a/../..", "/abs", ".", "./a",
        "a//b", "a/", "History1", "../History1", "sub", "a.txt", "old", "gone.txt", std::string("d\0/../..", 8)};
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return "";
    case 1:
    case 2:
        return fencedDest(pick(in, dests));
    default:
        break;
    }
    std::string d = part(in);
    for (int n = in.ConsumeIntegralInRange(0, 2); n > 0; --n)
        d += "/" + part(in);
    if (in.ConsumeIntegralInRange(0, 15) == 0)
        d = "/" + d;
    return fencedDest(d);
}

uint8_t flag(FuzzedDataProvider& in)
{
    static const uint8_t values[] = {0, 1, 1, 2, 255};
    return values[in.ConsumeIntegralInRange<size_t>(0, sizeof values - 1)];
}

MirrorItem record(FuzzedDataProvider& in)
{
    static const std::vector<std::string> masks{"*.*", "*", "*.txt", "a*", "?.txt", "", " ", "*.* *.txt",
                                                "-", "*.dat *.*", ".*", "..", "sub"};
    MirrorItem item;
    item.runFlag = flag(in);
    item.kind = in.ConsumeIntegralInRange(0, 3) == 0 ? flag(in) : 0;
    item.address = address(in);
    item.subfolders = flag(in);
    item.masks = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeRandomLengthString(12) : pick(in, masks);
    static const uint8_t options[] = {0, 1, 2, 3, 4, 255};
    item.folderOption = options[in.ConsumeIntegralInRange<size_t>(0, sizeof options - 1)];
    item.dest = destination(in);
    item.everyRun = flag(in);
    return item;
}

int32_t limitHistory(FuzzedDataProvider& in)
{
    static const int32_t values[] = {3, 0, 1, 2, 4, 5, 6, -1, INT32_MAX, INT32_MIN};
    return in.ConsumeBool() ? values[in.ConsumeIntegralInRange<size_t>(0, 9)] : in.ConsumeIntegral<int32_t>();
}

// An update line as damage leaves it: a path part or a link mirrored into Latest, ".." parts
// climbing out of it, and a name that exists up there; or any parts.
std::string updateLine(FuzzedDataProvider& in)
{
    static const std::vector<std::string> heads{"deeplink", "out", "sub", "old", "a.txt", ".", ""};
    static const std::vector<std::string> tails{"beside.txt", "a.txt", "x.txt", "letter.txt", "top/beside.txt",
                                                "w/beside.txt", "prog/notes.txt", "documents/letter.txt"};
    std::string line;
    if (in.ConsumeIntegralInRange(0, 2) == 0) {
        line = part(in);
        for (int k = in.ConsumeIntegralInRange(0, 3); k > 0; --k)
            line += "/" + part(in);
        return line;
    }
    line = pick(in, heads) + "/";
    for (int k = in.ConsumeIntegralInRange(0, 3); k > 0; --k)
        line += "../";
    return line + pick(in, tails);
}

// Damaged own files: update lines that leave Latest (also through a link mirrored there),
// table blocks with entries outside their folder.
void ownFiles(FuzzedDataProvider& in)
{
    const Tree& t = tree();
    std::string update;
    for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n)
        update += updateLine(in) + (in.ConsumeBool() ? "\r\n" : "\n");
    fuzz::putFile(t.prog + "/" + kUpdateFileName, reinterpret_cast<const uint8_t*>(update.data()), update.size());
    if (in.ConsumeBool()) {
        TableBuffer table;
        const std::string folder = address(in);
        std::vector<std::string> files;
        for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
            std::string f = folder;
            for (int k = in.ConsumeIntegralInRange(1, 3); k > 0; --k)
                f += "/" + part(in);
            files.push_back(f.substr(0, 255));
        }
        if (table.record(folder, files))
            FUZZ_CHECK(table.save(t.prog + "/" + kTableFileName) == 0);
    }
}

// Records every box (shown with a finding) and answers it with its default button, as Enter would.
class DefaultPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptMessage& message) override
    {
        asked.push_back(message.caption);
        return defaultAnswer(message);
    }
    std::vector<std::string> asked;
};

class Host : public MirrorHost {
public:
    MirrorSnapshot snap;
    MirrorSnapshot takeSnapshot() override { return snap; }
    void notifyEnd() override {}
};

// Each record of `after` is one of `before`'s, in the same order: a run only drops records.
bool isSubsequence(const std::string& after, const std::string& before)
{
    size_t j = 0;
    for (size_t i = 0; i + kItemRecordSize <= after.size(); i += kItemRecordSize) {
        while (j + kItemRecordSize <= before.size() && before.compare(j, kItemRecordSize, after, i, kItemRecordSize) != 0)
            j += kItemRecordSize;
        if (j + kItemRecordSize > before.size())
            return false;
        j += kItemRecordSize;
    }
    return after.size() % kItemRecordSize == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Tree& t = tree();
    FuzzedDataProvider in(data, size);
    buildTree();

    std::vector<MirrorItem> items;
    for (int n = in.ConsumeIntegralInRange(1, 5); n > 0; --n)
        items.push_back(record(in));
    std::string list(items.size() * kItemRecordSize, '\0');
    for (size_t i = 0; i < items.size(); ++i)
        encodeItem(items[i], reinterpret_cast<uint8_t*>(list.data() + i * kItemRecordSize));
    if (in.ConsumeIntegralInRange(0, 7) == 0)
        list += in.ConsumeRandomLengthString(kItemRecordSize - 1);  // a torn last record
    const std::string listPath = t.prog + "/" + kListFileName;
    fuzz::putFile(listPath, reinterpret_cast<const uint8_t*>(list.data()), list.size());
    ownFiles(in);

    Host host;
    host.snap.LogFile = t.prog + "/" + kLogFileName;
    host.snap.MirTopFolder = t.top;
    host.snap.LimitHistory = limitHistory(in);
    host.snap.FolderOption = in.ConsumeIntegralInRange(0, 3) != 0 ? in.ConsumeIntegralInRange<uint8_t>(0, 4)
                                                                  : in.ConsumeIntegral<uint8_t>();
    host.snap.DelOnNotExists = in.ConsumeBool();
    const int runs = in.ConsumeIntegralInRange(1, 3);

    const Snapshot before = snapshot();
    for (int r = 1; r <= runs; ++r) {
        host.snap.standardRun = in.ConsumeBool();
        host.snap.LogAppend = in.ConsumeBool();
        host.snap.KeepLogFile = in.ConsumeBool();
        const std::string listBefore = fuzz::getFile(listPath);
        DefaultPrompt prompt;
        TMirror mirror(host, prompt, t.prog);
        const RunOutcome outcome = mirror.run();
        FUZZ_CHECK(outcome.end != RunEnd::NotRun);  // the list file is still there
        expectUnchanged(before, snapshot(), r, prompt.asked);
        const std::string listAfter = fuzz::getFile(listPath);
        if (!host.snap.DelOnNotExists)
            FUZZ_CHECK(listAfter == listBefore);
        else
            FUZZ_CHECK(listAfter == listBefore || isSubsequence(listAfter, listBefore));
    }
    return 0;
}
