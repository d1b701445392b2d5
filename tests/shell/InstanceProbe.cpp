// The other start in the single-instance tests: claims the guard named by its first argument
// and says on its standard output what it found. A first start stays until killed and says
// "activate" for each request; a later one asks the first to come forward and ends.

#include <QCoreApplication>

#include <cstdio>

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
    QObject::connect(&guard, &renvo::TSingleInstance::activateRequested, [] { say("activate"); });
    if (!guard.claim()) {
        say("second");
        return 0;
    }
    say("first");
    return app.exec();
}
