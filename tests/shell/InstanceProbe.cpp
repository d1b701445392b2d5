// The other start in the single-instance tests: claims the guard named by its first argument
// and says on its standard output what it found. A first start stays until killed and says
// "activate" for each request; a later one carries out the action named by the second
// argument (activate, terminate or exception) and ends.

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "shell/SingleInstance.h"

namespace {

void say(const char* line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    renvo::TSingleInstance guard;
    guard.UniqueName = QString::fromLocal8Bit(argv[1]);
    const char* action = argc > 2 ? argv[2] : "activate";
    if (std::strcmp(action, "terminate") == 0)
        guard.DupInstAction = renvo::TSingleInstance::diTerminate;
    else if (std::strcmp(action, "exception") == 0)
        guard.DupInstAction = renvo::TSingleInstance::diException;
    guard.OnDuplicate = [] { say("duplicate"); };
    QObject::connect(&guard, &renvo::TSingleInstance::activateRequested, [] { say("activate"); });
    try {
        if (!guard.claim()) {
            say("second");
            return 0;
        }
    } catch (const std::runtime_error& e) {
        std::printf("exception %s\n", e.what());
        return 3;
    }
    say("first");
    return app.exec();
}
