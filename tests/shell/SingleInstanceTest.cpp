// The single-instance guard across real processes: the first start keeps a lock and takes
// activation requests, later starts ask it to come forward, and a killed first start leaves
// nothing that blocks the next one.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

#include <stdexcept>

#include "common/TempDir.h"
#include "shell/SingleInstance.h"

namespace renvo::test {
namespace {

constexpr int kWaitMs = 10000;

// The probe program, started with its own runtime folder; collects what it says.
class Probe {
public:
    Probe(const QString& name, const QString& runtimeDir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        proc_.setProcessEnvironment(env);
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/instance_probe"), {name});
    }
    ~Probe() { kill(); }

    // True once the probe has said `line`.
    bool waitFor(const QString& line, int ms = kWaitMs)
    {
        const QDeadlineTimer deadline(ms);
        while (true) {
            const qsizetype seen = said_.size();
            read();
            if (said_.indexOf(line, seen) >= 0)
                return true;
            if (proc_.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            proc_.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
        }
    }
    // Everything the probe said by the time it ended.
    QStringList finish()
    {
        proc_.waitForFinished(kWaitMs);
        read();
        return said_;
    }
    int exitCode() const { return proc_.exitCode(); }
    // SIGKILL: no chance to clean up.
    void kill()
    {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(kWaitMs);
        }
        read();
    }
    const QStringList& said() const { return said_; }

private:
    void read()
    {
        while (proc_.canReadLine())
            said_ << QString::fromUtf8(proc_.readLine()).trimmed();
        if (proc_.state() == QProcess::NotRunning && proc_.bytesAvailable() > 0)
            said_ << QString::fromUtf8(proc_.readAll()).trimmed();
    }

    QProcess proc_;
    QStringList said_;
};

const QStringList kSecond{QStringLiteral("second")};

class Guard : public ::testing::Test {
protected:
    void SetUp() override
    {
        hadRuntimeDir_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
        oldRuntimeDir_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(tmp_.path()));
        name_ = QStringLiteral("guard-%1-%2")
                    .arg(QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()))
                    .arg(::getpid());
    }
    void TearDown() override
    {
        if (hadRuntimeDir_)
            qputenv("XDG_RUNTIME_DIR", oldRuntimeDir_);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
    QString dir() const { return QString::fromStdString(tmp_.path()); }

    TempDir tmp_;
    QString name_;
    bool hadRuntimeDir_ = false;
    QByteArray oldRuntimeDir_;
};

TEST_F(Guard, FirstStartTakesActivationRequestsOfLaterStarts)
{
    TSingleInstance guard;
    guard.UniqueName = name_;
    QSignalSpy spy(&guard, &TSingleInstance::activateRequested);
    ASSERT_TRUE(guard.claim());
    EXPECT_TRUE(guard.claim());  // asked again, the same answer
    EXPECT_TRUE(QFileInfo(guard.lockFilePath()).isFile());
    EXPECT_TRUE(QFileInfo::exists(guard.serverPath()));

    for (int i = 0; i < 2; ++i) {
        Probe later(name_, dir());
        EXPECT_EQ(later.finish(), kSecond);
        EXPECT_EQ(later.exitCode(), 0);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 2; }, kWaitMs));
    QTest::qWait(50);  // (no more may follow)
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(Guard, OnlyTheActivateLineIsARequest)
{
    TSingleInstance guard;
    guard.UniqueName = name_;
    QSignalSpy spy(&guard, &TSingleInstance::activateRequested);
    ASSERT_TRUE(guard.claim());

    // Other lines are ignored, and a connection that writes on without a line end is cut.
    QLocalSocket noise;
    noise.connectToServer(guard.serverPath());
    ASSERT_TRUE(noise.waitForConnected(kWaitMs));
    noise.write("hello\nactivatex\nactivat\n" + QByteArray(1000, 'x'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return noise.state() == QLocalSocket::UnconnectedState; }, kWaitMs));
    EXPECT_EQ(spy.count(), 0);

    // A request without its line end counts once the writer closes.
    QLocalSocket closing;
    closing.connectToServer(guard.serverPath());
    ASSERT_TRUE(closing.waitForConnected(kWaitMs));
    closing.write("activate");
    closing.disconnectFromServer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, kWaitMs));

    // Several requests on one connection that stays open.
    QLocalSocket open;
    open.connectToServer(guard.serverPath());
    ASSERT_TRUE(open.waitForConnected(kWaitMs));
    open.write(" activate \r\nactivate\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 3; }, kWaitMs));
}

TEST_F(Guard, LaterStartAsksOnceAndKeepsItsAnswer)
{
    Probe first(name_, dir());
    ASSERT_TRUE(first.waitFor(QStringLiteral("first")));
    {
        TSingleInstance guard;
        guard.UniqueName = name_;
        EXPECT_FALSE(guard.claim());
        EXPECT_FALSE(guard.claim());  // asked again: the same answer, no second request
    }
    EXPECT_TRUE(first.waitFor(QStringLiteral("activate")));
    first.kill();
    EXPECT_EQ(first.said(), (QStringList{QStringLiteral("first"), QStringLiteral("activate")}));
}

TEST_F(Guard, TwoStartsOfTheProgram)
{
    Probe first(name_, dir());
    ASSERT_TRUE(first.waitFor(QStringLiteral("first")));

    Probe second(name_, dir());
    EXPECT_EQ(second.finish(), kSecond);
    EXPECT_TRUE(first.waitFor(QStringLiteral("activate")));

    // Another name is another program.
    Probe other(name_ + QStringLiteral("-other"), dir());
    EXPECT_TRUE(other.waitFor(QStringLiteral("first")));
}

TEST_F(Guard, KilledFirstStartBlocksNoNewStart)
{
    TSingleInstance names;  // never claimed: only for the file names
    names.UniqueName = name_;
    {
        Probe first(name_, dir());
        ASSERT_TRUE(first.waitFor(QStringLiteral("first")));
        first.kill();
    }
    // The lock file and the socket stay behind.
    EXPECT_TRUE(QFileInfo::exists(names.lockFilePath()));
    EXPECT_TRUE(QFileInfo::exists(names.serverPath()));

    Probe next(name_, dir());
    ASSERT_TRUE(next.waitFor(QStringLiteral("first")));
    Probe later(name_, dir());
    EXPECT_EQ(later.finish(), kSecond);
    EXPECT_TRUE(next.waitFor(QStringLiteral("activate")));  // listening on a fresh socket
}

TEST_F(Guard, OneGuardPerProcess)
{
    {
        TSingleInstance guard;
        try {
            TSingleInstance another;
            ADD_FAILURE() << "a second guard was made";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "Only single component allowed");
        }
        guard.UniqueName = name_;
        EXPECT_TRUE(guard.claim());  // the first one is untouched
    }
    // Gone with its lock, so the next one is first again.
    TSingleInstance again;
    again.UniqueName = name_;
    EXPECT_TRUE(again.claim());
}

TEST_F(Guard, NamesAreFilesOfThisUsersRuntimeFolder)
{
    TSingleInstance guard;
    const QString uid = QString::number(::getuid());
    guard.UniqueName = QStringLiteral("a/b ü");
    const QFileInfo lock(guard.lockFilePath());
    EXPECT_EQ(lock.absolutePath(), QDir(dir()).absolutePath());
    EXPECT_TRUE(lock.fileName().contains(uid));
    EXPECT_EQ(QFileInfo(guard.serverPath()).absolutePath(), lock.absolutePath());
    EXPECT_NE(guard.serverPath(), guard.lockFilePath());
    const QString slashed = guard.lockFilePath();
    guard.UniqueName = QStringLiteral("a_b ü");
    EXPECT_NE(guard.lockFilePath(), slashed);
    // A long name still fits a socket path.
    guard.UniqueName = QString(300, QLatin1Char('n'));
    EXPECT_LT(QFileInfo(guard.serverPath()).fileName().size(), 80);
    const QString longName = guard.serverPath();
    guard.UniqueName = QString(301, QLatin1Char('n'));
    EXPECT_NE(guard.serverPath(), longName);

    // Without a runtime folder (unset or missing) the temporary folder.
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(QFileInfo(guard.lockFilePath()).absolutePath(), QDir(QDir::tempPath()).absolutePath());
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(tmp_ / "missing"));
    EXPECT_EQ(QFileInfo(guard.lockFilePath()).absolutePath(), QDir(QDir::tempPath()).absolutePath());
}

TEST_F(Guard, LockFileThatCannotBeMadeLeavesTheProgramUnguarded)
{
    TSingleInstance guard;
    guard.UniqueName = name_;
    ASSERT_TRUE(QDir().mkpath(guard.lockFilePath()));  // a folder where the lock file goes
    EXPECT_TRUE(guard.claim());
    EXPECT_FALSE(QFileInfo::exists(guard.serverPath()));  // nothing to ask either
    Probe other(name_, dir());
    EXPECT_TRUE(other.waitFor(QStringLiteral("first")));
}

}  // namespace
}  // namespace renvo::test
