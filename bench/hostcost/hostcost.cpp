// hostcost: what the run's host costs when its calls are answered on another thread's event
// loop, as the tray program answers them, against a host that answers on the run thread.
// The calls that must be synchronous (the start and end steps, message boxes) are blocking
// round trips; the progress is published by the run and read by the event loop on a timer
// (as a progress window does), and the stop request is the run's own.
//
//   hostcost SOURCE WORK [--first N] [--nochange N] [--warm MIB]
//
// SOURCE is the tree to mirror; WORK a folder for program folders and top folders (created,
// never emptied: the caller removes it, long before the next copy is timed). Each first run
// goes into a top folder and program folder that never existed before; the no-change runs
// reuse the first direct run's pair. Last come the calls alone: as many as a first run makes,
// from a thread that does nothing else. Hosts are taken in turns. Before the first copy, MIB of
// memory (default 3072) is written once and freed: memory the virtual machine handed back is
// slow to touch again, and the first copies would pay for that instead of the hosts.

#include "../common/Machine.h"
#include "engine/ListFile.h"
#include "engine/MirThread.h"
#include "engine/MirrorHost.h"
#include "platform/FileNames.h"
#include "platform/Path.h"
#include "prompt/Prompt.h"
#include "runhost/RunSettings.h"
#include "settings/Settings.h"

#include <QTimer>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace renvo;
using renvo::bench::loadAverage;
using renvo::bench::median;
using renvo::bench::warmMemory;

namespace {

// What a progress window keeps of the run: the last values and nothing more. Both hosts do
// exactly this work, so the two differ only in how a call gets here.
struct HostState {
    MirrorSnapshot snapshot;
    bool stopRequest = false;
    bool animating = false;
    bool busy = false;
    int phase = 0;
    int position = 0;
    int maximum = 0;
    std::string lastCaption;
    long reports = 0;
    long polls = 0;
    long others = 0;

    MirrorSnapshot take()
    {
        ++others;
        stopRequest = false;
        animating = true;
        return snapshot;
    }
    void progress(int ph, int pos, int max)
    {
        ++reports;
        phase = ph;
        position = pos;
        maximum = max;
    }
    bool stop()
    {
        ++polls;
        return stopRequest;
    }
    void end()
    {
        ++others;
        animating = false;
    }
    void error(const std::string& caption)
    {
        ++others;
        lastCaption = caption;
    }
    void cursor(bool b)
    {
        ++others;
        busy = b;
    }
};

// Answers on the run thread, as renvo-run's console does when it draws nothing.
class DirectHost : public MirrorHost, public Prompt {
public:
    explicit DirectHost(HostState& state) : state_(state) {}
    MirrorSnapshot takeSnapshot() override { return state_.take(); }
    void progressChanged(const RunProgress& p) override
    {
        state_.progress(static_cast<int>(p.phase), p.position, p.maximum);
    }
    void notifyEnd() override { state_.end(); }
    PromptAnswer ask(const PromptMessage& m) override
    {
        state_.error(m.caption);
        return m.defaultButton;
    }
    void setBusyCursor(bool busy) override { state_.cursor(busy); }

private:
    HostState& state_;
};

// The tray program's way: the synchronous calls wait until the main thread's event loop has
// run them on `gui`; the progress hint is only counted (it must never block), and the event
// loop reads the run's published progress ten times a second; the cursor is a queued call.
class BlockingHost : public MirrorHost, public Prompt {
public:
    BlockingHost(QObject& gui, HostState& state) : gui_(gui), state_(state) {}
    MirrorSnapshot takeSnapshot() override
    {
        MirrorSnapshot snap;
        onGui([&] { snap = state_.take(); });
        return snap;
    }
    void progressChanged(const RunProgress&) override { hints_.fetch_add(1, std::memory_order_relaxed); }
    void notifyEnd() override
    {
        onGui([&] { state_.end(); });
    }
    PromptAnswer ask(const PromptMessage& m) override
    {
        onGui([&] { state_.error(m.caption); });
        return m.defaultButton;
    }
    void setBusyCursor(bool busy) override
    {
        QMetaObject::invokeMethod(&gui_, [this, busy] { state_.cursor(busy); }, Qt::QueuedConnection);
    }
    long hints() const { return hints_.load(); }

private:
    template <typename F>
    void onGui(F f)
    {
        QMetaObject::invokeMethod(&gui_, std::move(f), Qt::BlockingQueuedConnection);
    }

    QObject& gui_;
    HostState& state_;
    std::atomic<long> hints_{0};
};

enum class Host { Direct, Blocking };

const char* hostName(Host h)
{
    return h == Host::Direct ? "direct" : "blocking";
}

struct Place {
    std::string home;  // program folder, with the delimiter
    std::string top;
};

Place makePlace(const std::string& work, const std::string& name, const std::string& source)
{
    const std::string base = joinPath(work, name);
    Place p{includeTrailingDelimiter(joinPath(base, "home")), joinPath(base, "top")};
    std::filesystem::create_directories(p.home);
    MirrorItem item;
    item.runFlag = 1;
    item.kind = 0;
    item.address = source;
    item.subfolders = 1;
    item.masks = "*.*";
    item.folderOption = 1;
    item.dest = "src";
    item.everyRun = 1;
    if (const int err = writeListFile(p.home + kListFileName, {item})) {
        std::fprintf(stderr, "cannot write the list in %s: %s\n", p.home.c_str(), std::strerror(err));
        std::exit(1);
    }
    return p;
}

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system of all threads: less swayed by other work than wall time
    RunOutcome outcome;
    HostState state;
};

double cpuOf(const rusage& u)
{
    const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

Sample timeRun(Host host, const Place& place, QObject& gui)
{
    Sample s;
    TSettings settings = defaultSettings(place.home);
    settings.MirTopFolder = place.top;
    settings.TaskPriority = 2;  // normal priority: an idle-class thread would time the neighbours
    s.state.snapshot = snapshotOf(settings, true);

    DirectHost direct(s.state);
    BlockingHost blocking(gui, s.state);

    rusage u0 {};
    getrusage(RUSAGE_SELF, &u0);
    const auto t0 = std::chrono::steady_clock::now();
    if (host == Host::Direct) {
        TMirror mirror(direct, direct, place.home, settings.TaskPriority);
        mirror.start();
        s.outcome = mirror.join();
    } else {
        TMirror mirror(blocking, blocking, place.home, settings.TaskPriority);
        QEventLoop loop;
        // What a progress window does: it reads the published progress when it repaints.
        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, &gui, [&] {
            const RunProgress p = mirror.progress();
            s.state.progress(static_cast<int>(p.phase), p.position, p.maximum);
        });
        repaint.start(100);
        mirror.start([&loop] { QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection); });
        loop.exec();
        repaint.stop();
        s.outcome = mirror.join();
        s.state.reports += blocking.hints();
    }
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rusage u1 {};
    getrusage(RUSAGE_SELF, &u1);
    s.cpuSeconds = cpuOf(u1) - cpuOf(u0);
    if (s.outcome.end != RunEnd::Completed || s.outcome.failedCopies || s.outcome.failedDeletions) {
        std::fprintf(stderr, "%s run in %s did not complete cleanly (end %d, %zu failed copies): %s\n",
                     hostName(host), place.home.c_str(), static_cast<int>(s.outcome.end),
                     s.outcome.failedCopies, s.outcome.error.c_str());
        std::exit(1);
    }
    return s;
}

// The calls of a run without the run: a thread making `calls` host calls, reports and polls in
// turn as a copy loop makes them. This is the seam's cost alone, free of the file system's moods.
Sample timeCalls(Host host, long calls, QObject& gui)
{
    Sample s;
    DirectHost direct(s.state);
    BlockingHost blocking(gui, s.state);
    MirrorHost& h = host == Host::Direct ? static_cast<MirrorHost&>(direct) : blocking;
    // Per file a run now publishes its progress (the hint to the host) and reads its own stop
    // request; nothing crosses to the other thread.
    std::atomic<bool> stop{false};
    const auto loop = [&h, &stop, calls] {
        for (long i = 0; i < calls; ++i) {
            if (i % 2)
                h.progressChanged({RunPhase::Mirror, static_cast<int>(i / 2), static_cast<int>(calls / 2)});
            else if (stop.load(std::memory_order_relaxed))
                break;
        }
    };

    rusage u0 {};
    getrusage(RUSAGE_SELF, &u0);
    const auto t0 = std::chrono::steady_clock::now();
    if (host == Host::Direct) {
        std::thread(loop).join();
    } else {
        QEventLoop events;
        std::thread caller([&] {
            loop();
            QMetaObject::invokeMethod(&events, [&events] { events.quit(); }, Qt::QueuedConnection);
        });
        events.exec();
        caller.join();
    }
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rusage u1 {};
    getrusage(RUSAGE_SELF, &u1);
    s.cpuSeconds = cpuOf(u1) - cpuOf(u0);
    return s;
}

struct Series {
    std::vector<double> seconds;
    std::vector<double> cpuSeconds;
    long copies = 0;
    long calls = 0;  // host calls of one run
};

void printRow(const char* scenario, const Series& d, const Series& b)
{
    const double md = median(d.seconds);
    const double mb = median(b.seconds);
    const double cd = median(d.cpuSeconds);
    const double cb = median(b.cpuSeconds);
    // A handful of calls against run-to-run noise says nothing per call.
    char perCall[32] = "-";
    if (b.calls >= 1000)
        std::snprintf(perCall, sizeof perCall, "%.2f", (mb - md) / static_cast<double>(b.calls) * 1e6);
    std::printf("%-9s %4zu %7ld %7ld %9.3f %9.3f %6.2f %9.3f %9.3f %6.2f %8s\n", scenario, d.seconds.size(),
                d.copies, b.calls, md, mb, mb / md, cd, cb, cb / cd, perCall);
}

void printTimes(const char* scenario, Host host, const Series& s)
{
    std::printf("  %-9s %-8s", scenario, hostName(host));
    for (size_t i = 0; i < s.seconds.size(); ++i)
        std::printf(" %.3f (%.3f)", s.seconds[i], s.cpuSeconds[i]);
    std::printf("\n");
}

void record(Series& series, const Sample& s)
{
    series.seconds.push_back(s.seconds);
    series.cpuSeconds.push_back(s.cpuSeconds);
    series.copies = static_cast<long>(s.outcome.copies);
    series.calls = s.state.reports + s.state.polls + s.state.others;
}

int usage()
{
    std::fprintf(stderr, "usage: hostcost SOURCE WORK [--first N] [--nochange N] [--warm MIB]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> paths;
    int firstRuns = 3;
    int noChangeRuns = 5;
    int warmMib = 3072;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--first" || a == "--nochange" || a == "--warm") && i + 1 < argc)
            (a == "--first" ? firstRuns : a == "--nochange" ? noChangeRuns : warmMib) = std::atoi(argv[++i]);
        else if (!a.empty() && a[0] == '-')
            return usage();
        else
            paths.push_back(a);
    }
    if (paths.size() != 2 || firstRuns < 1 || noChangeRuns < 1 || warmMib < 0)
        return usage();
    const std::string source = std::filesystem::absolute(paths[0]).lexically_normal().string();
    const std::string work = std::filesystem::absolute(paths[1]).lexically_normal().string();
    std::filesystem::create_directories(work);

    const std::string loadBefore = loadAverage();
    warmMemory(warmMib);

    QObject gui;  // the GUI side: lives on this thread, which runs the event loop
    Series first[2], same[2];
    Place reused;

    // Even repetitions start with the direct host, odd ones with the blocking one.
    for (int rep = 0; rep < firstRuns; ++rep) {
        for (int k = 0; k < 2; ++k) {
            const Host h = static_cast<Host>((rep + k) % 2);
            const Place p = makePlace(work, std::string(hostName(h)) + "-first" + std::to_string(rep), source);
            record(first[static_cast<int>(h)], timeRun(h, p, gui));
            if (rep == 0 && h == Host::Direct)
                reused = p;
        }
    }
    if (first[0].copies == 0 || first[0].copies != first[1].copies) {
        std::fprintf(stderr, "first runs copied %ld and %ld files\n", first[0].copies, first[1].copies);
        return 1;
    }

    for (int rep = 0; rep < noChangeRuns; ++rep) {
        for (int k = 0; k < 2; ++k) {
            const Host h = static_cast<Host>((rep + k) % 2);
            record(same[static_cast<int>(h)], timeRun(h, reused, gui));
        }
    }
    if (same[0].copies != 0 || same[1].copies != 0) {
        std::fprintf(stderr, "a no-change run copied files\n");
        return 1;
    }

    // As many calls as a first run makes, five times per host, in turns.
    Series bare[2];
    for (int rep = 0; rep < 5; ++rep) {
        for (int k = 0; k < 2; ++k) {
            const Host h = static_cast<Host>((rep + k) % 2);
            record(bare[static_cast<int>(h)], timeCalls(h, first[1].calls, gui));
        }
    }

    std::printf("source %s\n", source.c_str());
    std::printf("load average (1, 5, 15 min): %s before, %s after\n", loadBefore.c_str(), loadAverage().c_str());
    std::printf("%-9s %4s %7s %7s %9s %9s %6s %9s %9s %6s %8s\n", "scenario", "runs", "copies", "calls",
                "direct", "blocking", "ratio", "cpu dir", "cpu blk", "ratio", "us/call");
    printRow("first", first[0], first[1]);
    printRow("nochange", same[0], same[1]);
    printRow("calls", bare[0], bare[1]);
    std::printf("medians in seconds: wall time, then cpu (user + system, all threads); calls: host calls of one\n"
                "run; us/call: wall (blocking - direct) / calls, from 1,000 calls on\n");
    std::printf("wall (cpu) in run order:\n");
    for (int h = 0; h < 2; ++h)
        printTimes("first", static_cast<Host>(h), first[h]);
    for (int h = 0; h < 2; ++h)
        printTimes("nochange", static_cast<Host>(h), same[h]);
    for (int h = 0; h < 2; ++h)
        printTimes("calls", static_cast<Host>(h), bare[h]);
    return 0;
}
