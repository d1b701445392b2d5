#pragma once
// The single-instance guard: the first start of the program holds a lock for its lifetime and
// listens for later starts, which ask it to bring its active window forward and end.

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

namespace renvo {

class TSingleInstance : public QObject {
    Q_OBJECT

public:
    // Throws std::logic_error("Only single component allowed") while another guard exists.
    explicit TSingleInstance(QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Names the program among others of the same user; each user has guards of their own.
    QString UniqueName;

    // True for the first start, which from then on holds the lock and takes activation
    // requests. A later start asks the first start to come forward and gives false. When the
    // lock file cannot be made or the lock taken for a reason other than another holder, the
    // program runs unguarded: true. A second call gives the first call's answer.
    bool claim();

    // The lock file and the local socket for UniqueName and this user, in $XDG_RUNTIME_DIR
    // (else the temporary folder).
    QString lockFilePath() const;
    QString serverPath() const;

signals:
    // A later start asked the first one to bring its active window to the front.
    void activateRequested();

private:
    void listen();
    void readRequests(QLocalSocket* socket);
    void sendActivate();

    enum class State { Unclaimed, First, Second };
    State state_ = State::Unclaimed;
    int lockFd_ = -1;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace renvo
