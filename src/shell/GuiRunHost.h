#pragma once
// The run's host and prompt in the tray program. The run thread's blocking calls (start step,
// end step, message boxes) are carried out on the GUI thread while the run waits; the
// hourglass is switched without waiting. Called on the GUI thread itself (a run on the
// caller's thread), the calls are made directly.

#include <QObject>

#include <atomic>
#include <functional>

#include "engine/MirrorHost.h"
#include "prompt/Prompt.h"

namespace renvo {

class GuiRunHost : public QObject, public MirrorHost, public Prompt {
    Q_OBJECT
public:
    // startStep and endStep run on the GUI thread; boxes go to guiPrompt there.
    GuiRunHost(std::function<MirrorSnapshot()> startStep, std::function<void()> endStep, Prompt& guiPrompt,
               const void* boxOwner, QObject* parent = nullptr);
    ~GuiRunHost() override;

    MirrorSnapshot takeSnapshot() override;
    void notifyEnd() override;
    void setBusyCursor(bool busy) override;
    PromptAnswer ask(const PromptMessage& message) override;

    // While the program ends, the run's boxes are answered as Escape would answer them,
    // without a window: nobody is there to read them.
    void silenceBoxes() { silent_.store(true); }

private:
    void onGuiThread(const std::function<void()>& call);

    std::function<MirrorSnapshot()> startStep_;
    std::function<void()> endStep_;
    Prompt& guiPrompt_;
    const void* boxOwner_;
    std::atomic<bool> silent_{false};
    int cursorDepth_ = 0;  // GUI thread only
};

}  // namespace renvo
