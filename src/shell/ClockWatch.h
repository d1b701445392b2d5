#pragma once
// Tells when the wall clock has been set or the machine has woken from a suspend. The
// scheduler sleeps on a timer whose clock ignores both (it stops during a suspend), so it must
// be armed anew then. Where the system gives no such notice the watch stays silent.

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace renvo {

class ClockWatch : public QObject {
    Q_OBJECT
public:
    explicit ClockWatch(QObject* parent = nullptr);
    ~ClockWatch() override;

    // False where the system gives no notice.
    bool active() const { return fd_ >= 0; }

signals:
    void clockChanged();

private:
    bool arm();
    void readNotice();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace renvo
