#pragma once
// One run at a time per program folder, whichever program starts it (the tray program,
// renvo-run, or several of them): an advisory lock on a file in the program folder.
//
// The kernel drops the lock when the holder ends in any way, so a crashed run never leaves it
// held. The lock file itself stays: deleting it while held would let a third process lock a
// fresh file of the same name.

#include <string>

#include "platform/FileNames.h"

namespace renvo {

// Told when another run holds the lock.
inline constexpr char kRunLockBusyText[] =
    "現在ミラーリング中です（同じプログラムフォルダの実行が終わるまで開始できません）";

class RunLock {
public:
    enum class State { released, held, busy, failed };

    // Takes the lock of programFolder (with or without a trailing delimiter) without waiting.
    static RunLock tryAcquire(const std::string& programFolder);

    RunLock() = default;
    ~RunLock();
    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&& other) noexcept;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    bool held() const { return state_ == State::held; }
    State state() const { return state_; }
    // Why the lock is not held (busy or failed), ready to show; empty otherwise.
    const std::string& refusal() const { return refusal_; }

    void release();

private:
    int fd_ = -1;
    State state_ = State::released;
    std::string refusal_;
};

}  // namespace renvo
