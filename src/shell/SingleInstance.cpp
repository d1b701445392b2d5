#include "shell/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "platform/FileLock.h"

namespace renvo {

namespace {

TSingleInstance* g_guard = nullptr;

constexpr int kActivateTimeoutMs = 1000;
// Longer requests than this are no request of ours.
constexpr qint64 kMaxRequest = 256;

QString runtimeFolder()
{
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty() && QFileInfo(dir).isDir())
        return dir;
    return QDir::tempPath();
}

// The name, made safe for a file name and short enough for a socket path.
QString baseName(const QString& uniqueName)
{
    QString name = QString::fromLatin1(QUrl::toPercentEncoding(uniqueName));
    if (name.size() > 48)
        name = QString::fromLatin1(
            QCryptographicHash::hash(uniqueName.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
    return QStringLiteral("renvo-%1-%2").arg(name).arg(::getuid());
}

}  // namespace

TSingleInstance::TSingleInstance(QObject* parent) : QObject(parent)
{
    if (g_guard)
        throw std::logic_error("Only single component allowed");
    g_guard = this;
}

TSingleInstance::~TSingleInstance()
{
    server_.reset();  // removes the socket file
    if (lockFd_ >= 0)
        ::close(lockFd_);
    g_guard = nullptr;
}

QString TSingleInstance::lockFilePath() const
{
    return runtimeFolder() + QLatin1Char('/') + baseName(UniqueName) + QStringLiteral(".lock");
}

QString TSingleInstance::serverPath() const
{
    return runtimeFolder() + QLatin1Char('/') + baseName(UniqueName) + QStringLiteral(".sock");
}

bool TSingleInstance::claim()
{
    if (state_ != State::Unclaimed)
        return state_ == State::First;

    // The kernel drops the lock with the process, so a crashed first start blocks no one.
    lockFd_ = openLockFile(QFile::encodeName(lockFilePath()).toStdString(), 0600);
    const int rc = lockFd_ < 0 ? -1 : lockFile(lockFd_, false);
    if (rc == 0) {
        state_ = State::First;
        listen();
        return true;
    }
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
    if (rc != EWOULDBLOCK) {
        state_ = State::First;  // no lock to be had: run unguarded
        return true;
    }

    state_ = State::Second;
    sendActivate();
    return false;
}

void TSingleInstance::listen()
{
    const QString path = serverPath();
    // Holding the lock, any socket of this name is a dead first start's.
    QLocalServer::removeServer(path);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        server_.reset();  // runs on without taking requests
        return;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
            connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
                readRequests(socket);
                // A request without its line end, written just before the close. (An aborted
                // socket, as when the server goes, has nothing left and may not be read.)
                if (socket->bytesAvailable() > 0 && socket->readAll().trimmed() == "activate")
                    emit activateRequested();
                socket->deleteLater();
            });
            readRequests(socket);
        }
    });
}

void TSingleInstance::readRequests(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        if (socket->readLine(kMaxRequest).trimmed() == "activate")
            emit activateRequested();
    }
    if (socket->bytesAvailable() > kMaxRequest) {
        socket->disconnect(this);  // nothing more to read or answer
        socket->abort();
        socket->deleteLater();
    }
}

void TSingleInstance::sendActivate()
{
    QDeadlineTimer deadline(kActivateTimeoutMs);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(serverPath());
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return;  // the first start does not answer: give up quietly
        // The first start may have its lock but not yet its socket.
        QThread::msleep(20);
    }
    socket.write("activate\n");
    if (socket.waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 1))))
        socket.disconnectFromServer();
    else
        socket.abort();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(int(std::max<qint64>(deadline.remainingTime(), 1)));
}

}  // namespace renvo
