// guirun: what the resident program's progress window costs a run. The same run is timed in
// the tray program's main form, with the progress window shown and updated by the GUI thread's
// timer, and through the renvo-run program as a child process.
//
//   guirun SOURCE WORK [--first N] [--nochange N] [--warm MIB] [--renvo-run PATH]
//
// SOURCE is the tree to mirror; WORK a folder for program folders, top folders and hives
// (created, never emptied: the caller removes it, long before the next copy is timed). Every
// first run goes into a program folder and top folder that never existed before; the no-change
// runs of both hosts reuse the pair of the first renvo-run run. Hosts are taken in turns.
// renvo-run defaults to the one beside this program (the same build). Before the first copy,
// MIB of memory (default 3072) is written once and freed: memory the virtual machine handed back
// is slow to touch again, and the first copies would pay for that instead of the hosts.
// Without QT_QPA_PLATFORM the offscreen platform is used: the window is still laid out, painted
// into its backing store and updated as on a desktop.

#include "../common/Machine.h"
#include "engine/ListFile.h"
#include "engine/MirThread.h"
#include "platform/FileNames.h"
#include "platform/Path.h"
#include "prompt/Prompt.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "shell/Clock.h"
#include "shell/Main.h"
#include "shell/Progress.h"
#include "shell/TrayIcon.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QSet>
#include <QString>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

using namespace renvo;
using renvo::bench::loadAverage;
using renvo::bench::median;
using renvo::bench::warmMemory;

namespace {

// Answers every box by its default button and keeps its caption: a box in a timed run means
// the run was not the one meant to be measured.
class CountingPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptMessage& m) override
    {
        captions.push_back(m.caption);
        return defaultAnswer(m);
    }
    std::vector<std::string> captions;
};

// Counts the paints of the progress window and its controls: proof that the window did the
// work it does on a desktop.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    long paints = 0;
};

enum class Host { Window, Console };

const char* hostName(Host h)
{
    return h == Host::Window ? "window" : "renvo-run";
}

struct Place {
    std::string home;    // program folder, with the delimiter
    std::string config;  // XDG_CONFIG_HOME of renvo-run
    std::string hive;    // config/Tovan/user.reg, the window's hive too
    std::string log;
    std::string output;  // renvo-run's standard output and error
};

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "guirun: %s\n", what.c_str());
    std::exit(1);
}

Place makePlace(const std::string& work, const std::string& name, const std::string& source)
{
    const std::string base = joinPath(work, name);
    Place p;
    p.home = includeTrailingDelimiter(joinPath(base, "home"));
    p.config = joinPath(base, "config");
    p.hive = joinPath(joinPath(p.config, "Tovan"), "user.reg");
    p.log = joinPath(base, "log.txt");
    p.output = joinPath(base, "renvo-run.out");
    std::filesystem::create_directories(p.home);
    std::filesystem::create_directories(extractFileDir(p.hive));

    MirrorItem item;
    item.runFlag = 1;
    item.kind = 0;
    item.address = source;
    item.subfolders = 1;
    item.masks = "*.*";
    item.folderOption = 1;
    item.dest = "src";
    item.everyRun = 1;
    if (const int err = writeListFile(p.home + kListFileName, {item}))
        fail("cannot write the list in " + p.home + ": " + std::strerror(err));

    TSettings s = defaultSettings(p.home);
    s.MirTopFolder = joinPath(base, "top");
    s.LogFile = p.log;
    s.Mirroring = false;   // no scheduled run besides the timed one
    s.MirOnStart = false;  // FormCreate starts nothing by itself
    s.ShowProgressDialog = true;
    s.TaskPriority = 2;    // normal priority: an idle-class thread would time the neighbours
    s.EveryTimes = 1000;   // every timed run a standard one, whoever counted the runs before
    CountingPrompt prompt;
    if (!SaveSettings(s, prompt, p.hive) || !prompt.captions.empty())
        fail("cannot write the hive " + p.hive);
    return p;
}

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system of every thread of the host's process
    double guiSeconds = 0;  // the window's GUI thread alone
    long paints = 0;
    long copies = -1;       // from the run's outcome; renvo-run tells only its exit status
    long logLines = 0;
};

double cpuOf(const rusage& u)
{
    const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

// The log has a line per copy: equal counts say both hosts did the same run.
long countLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("no log " + path);
    return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
}

Sample timeWindow(const Place& place)
{
    CountingPrompt prompt;
    SystemClock clock;
    ShellEnvironment env;
    env.prompt = &prompt;
    env.clock = &clock;
    env.programFolder = place.home;
    env.hivePath = place.hive;
    const auto form = std::make_unique<TfrmMain>(env);
    form->FormCreate();
    if (!prompt.captions.empty())
        fail("the main form asked \"" + prompt.captions.front() + "\" before the run");

    Sample s;
    QEventLoop loop;
    std::chrono::steady_clock::time_point t1;
    rusage self1 {}, gui1 {};
    QObject::connect(form.get(), &TfrmMain::runFinished, &loop, [&] {
        t1 = std::chrono::steady_clock::now();
        getrusage(RUSAGE_SELF, &self1);
        getrusage(RUSAGE_THREAD, &gui1);
        loop.quit();
    });
    PaintCounter counter;

    rusage self0 {}, gui0 {};
    getrusage(RUSAGE_SELF, &self0);
    getrusage(RUSAGE_THREAD, &gui0);
    const auto t0 = std::chrono::steady_clock::now();
    if (!form->runCommand(false, nullptr))
        fail("the main form started no run in " + place.home);
    // The window is shown and painted once inside runCommand; the paints counted are the
    // timer's updates and the animation.
    if (TfrmProgress* window = form->progressWindow()) {
        window->installEventFilter(&counter);
        for (QWidget* child : window->findChildren<QWidget*>())
            child->installEventFilter(&counter);
    } else {
        fail("the run has no progress window");
    }
    loop.exec();

    s.seconds = std::chrono::duration<double>(t1 - t0).count();
    s.cpuSeconds = cpuOf(self1) - cpuOf(self0);
    s.guiSeconds = cpuOf(gui1) - cpuOf(gui0);
    s.paints = counter.paints;
    const std::optional<RunOutcome>& outcome = form->lastOutcome();
    if (!outcome || outcome->end != RunEnd::Completed || !outcome->complete())
        fail("the window run in " + place.home + " did not complete cleanly" +
             (outcome ? ": " + outcome->error : std::string()));
    if (!prompt.captions.empty())
        fail("the window run asked \"" + prompt.captions.front() + "\"");
    s.copies = static_cast<long>(outcome->copies);
    s.logLines = countLines(place.log);
    return s;
}

// The environment of the parent with the program folder and the hive's folder replaced.
std::vector<std::string> childEnvironment(const Place& place)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("RENVO_HOME=", 0) != 0 && entry.rfind("XDG_CONFIG_HOME=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("RENVO_HOME=" + place.home);
    env.push_back("XDG_CONFIG_HOME=" + place.config);
    return env;
}

Sample timeConsole(const Place& place, const std::string& program)
{
    std::vector<std::string> env = childEnvironment(place);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};

    // Not a terminal: renvo-run draws no progress line, as a run from a timer or script.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, place.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    Sample s;
    pid_t pid = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const int err = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0)
        fail("cannot start " + program + ": " + std::strerror(err));
    int status = 0;
    rusage u {};
    while (wait4(pid, &status, 0, &u) < 0) {
        if (errno != EINTR)
            fail(std::string("waiting for renvo-run: ") + std::strerror(errno));
    }
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    s.cpuSeconds = cpuOf(u);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream out(place.output);
        const std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
        fail("renvo-run in " + place.home + " ended with status " + std::to_string(status) + ":\n" + text);
    }
    s.logLines = countLines(place.log);
    return s;
}

struct Series {
    std::vector<Sample> runs;

    std::vector<double> of(double Sample::*field) const
    {
        std::vector<double> v;
        for (const Sample& s : runs)
            v.push_back(s.*field);
        return v;
    }
    double med(double Sample::*field) const { return median(of(field)); }
};

void printRow(const char* scenario, const Series& w, const Series& c)
{
    const double mw = w.med(&Sample::seconds);
    const double mc = c.med(&Sample::seconds);
    const double cw = w.med(&Sample::cpuSeconds);
    const double cc = c.med(&Sample::cpuSeconds);
    std::vector<double> paints;
    for (const Sample& s : w.runs)
        paints.push_back(static_cast<double>(s.paints));
    std::printf("%-9s %4zu %7ld %9.3f %9.3f %6.3f %9.3f %9.3f %6.3f %8.3f %7.0f\n", scenario, w.runs.size(),
                w.runs.front().copies, mw, mc, mw / mc, cw, cc, cw / cc, w.med(&Sample::guiSeconds),
                median(paints));
}

void printTimes(const char* scenario, Host host, const Series& s)
{
    std::printf("  %-9s %-9s", scenario, hostName(host));
    for (const Sample& r : s.runs)
        std::printf(" %.3f (%.3f)", r.seconds, r.cpuSeconds);
    std::printf("\n");
}

// Both hosts' runs of one kind did the same work: the same copies and the same log.
void checkSame(const char* scenario, const Series& w, const Series& c, bool copying)
{
    const long copies = w.runs.front().copies;
    const long lines = w.runs.front().logLines;
    for (const Sample& s : w.runs)
        if (s.copies != copies)
            fail(std::string(scenario) + " window runs copied " + std::to_string(copies) + " and " +
                 std::to_string(s.copies) + " files");
    if (copying ? copies == 0 : copies != 0)
        fail(std::string(scenario) + " window runs copied " + std::to_string(copies) + " files");
    for (const Sample& s : c.runs)
        if (s.logLines != lines)
            fail(std::string(scenario) + " logs of " + std::to_string(lines) + " (window) and " +
                 std::to_string(s.logLines) + " lines (renvo-run)");
}

// The offscreen platform has no tray and no window stacking, and says so for every form and
// window: each message once is enough.
void onceEach(QtMsgType, const QMessageLogContext&, const QString& message)
{
    static QSet<QString> seen;
    if (seen.contains(message))
        return;
    seen.insert(message);
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// The first window of the process loads its fonts and icons; the resident program has done
// that long before its runs, so it happens here, untimed.
void warmWindow()
{
    TfrmProgress window(true, 0, animationFrames(), cancelGlyph(), [] {});
    window.show();
    window.setProgress({RunPhase::Mirror, 1, 2});
    window.repaint();
    window.finish();
    QCoreApplication::processEvents();
}

int usage()
{
    std::fprintf(stderr,
                 "usage: guirun SOURCE WORK [--first N] [--nochange N] [--warm MIB] [--renvo-run PATH]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(onceEach);
    QApplication app(argc, argv);
    // The progress window is the only window: its closing must not end the event loops.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> paths;
    int firstRuns = 5;
    int noChangeRuns = 7;
    int warmMib = 3072;
    std::string program = joinPath(QCoreApplication::applicationDirPath().toStdString(), "renvo-run");
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--first" || a == "--nochange" || a == "--warm") && i + 1 < argc)
            (a == "--first" ? firstRuns : a == "--nochange" ? noChangeRuns : warmMib) = std::atoi(argv[++i]);
        else if (a == "--renvo-run" && i + 1 < argc)
            program = argv[++i];
        else if (!a.empty() && a[0] == '-')
            return usage();
        else
            paths.push_back(a);
    }
    if (paths.size() != 2 || firstRuns < 1 || noChangeRuns < 1 || warmMib < 0)
        return usage();
    if (access(program.c_str(), X_OK) != 0)
        fail("no renvo-run at " + program);
    const std::string source = std::filesystem::absolute(paths[0]).lexically_normal().string();
    const std::string work = std::filesystem::absolute(paths[1]).lexically_normal().string();
    if (!std::filesystem::is_directory(source))
        fail("no source folder " + source);
    std::filesystem::create_directories(work);

    const std::string loadBefore = loadAverage();
    warmMemory(warmMib);
    warmWindow();

    Series first[2], same[2];
    Place reused;
    const auto run = [&program](Host h, const Place& p) {
        Sample s = h == Host::Window ? timeWindow(p) : timeConsole(p, program);
        // The form and window are gone; their deferred deletions too, before the next run.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        return s;
    };

    // Even repetitions start with the window, odd ones with renvo-run.
    for (int rep = 0; rep < firstRuns; ++rep) {
        for (int k = 0; k < 2; ++k) {
            const Host h = static_cast<Host>((rep + k) % 2);
            const Place p = makePlace(work, std::string(hostName(h)) + "-first" + std::to_string(rep), source);
            first[static_cast<int>(h)].runs.push_back(run(h, p));
            if (rep == 0 && h == Host::Console)
                reused = p;
        }
    }
    checkSame("first", first[0], first[1], true);

    for (int rep = 0; rep < noChangeRuns; ++rep) {
        for (int k = 0; k < 2; ++k) {
            const Host h = static_cast<Host>((rep + k) % 2);
            same[static_cast<int>(h)].runs.push_back(run(h, reused));
        }
    }
    checkSame("nochange", same[0], same[1], false);

    std::printf("source %s\n", source.c_str());
    std::printf("renvo-run %s\n", program.c_str());
    std::printf("load average (1, 5, 15 min): %s before, %s after\n", loadBefore.c_str(), loadAverage().c_str());
    std::printf("%-9s %4s %7s %9s %9s %6s %9s %9s %6s %8s %7s\n", "scenario", "runs", "copies", "window",
                "renvo-run", "ratio", "cpu win", "cpu run", "ratio", "gui cpu", "paints");
    printRow("first", first[0], first[1]);
    printRow("nochange", same[0], same[1]);
    std::printf("medians in seconds: wall time, then cpu (user + system, all threads of the host's process);\n"
                "ratio: window / renvo-run; gui cpu: the window's GUI thread; paints: paint events of the\n"
                "progress window and its controls after it was first shown\n");
    std::printf("wall (cpu) in run order:\n");
    for (int h = 0; h < 2; ++h)
        printTimes("first", static_cast<Host>(h), first[h]);
    for (int h = 0; h < 2; ++h)
        printTimes("nochange", static_cast<Host>(h), same[h]);
    return 0;
}
