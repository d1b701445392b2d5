#include "shell/GuiRunHost.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

namespace renvo {

GuiRunHost::GuiRunHost(std::function<MirrorSnapshot()> startStep, std::function<void()> endStep, Prompt& guiPrompt,
                       const void* boxOwner, QObject* parent)
    : QObject(parent),
      startStep_(std::move(startStep)),
      endStep_(std::move(endStep)),
      guiPrompt_(guiPrompt),
      boxOwner_(boxOwner)
{
}

GuiRunHost::~GuiRunHost()
{
    // An hourglass left on by a run that ended without its last call.
    while (cursorDepth_ > 0) {
        QGuiApplication::restoreOverrideCursor();
        --cursorDepth_;
    }
}

void GuiRunHost::onGuiThread(const std::function<void()>& call)
{
    if (QThread::currentThread() == thread())
        call();
    else
        QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

MirrorSnapshot GuiRunHost::takeSnapshot()
{
    MirrorSnapshot snapshot;
    onGuiThread([&] { snapshot = startStep_(); });
    return snapshot;
}

void GuiRunHost::notifyEnd()
{
    onGuiThread([&] { endStep_(); });
}

void GuiRunHost::setBusyCursor(bool busy)
{
    auto change = [this, busy] {
        if (busy) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
            ++cursorDepth_;
        } else if (cursorDepth_ > 0) {
            QGuiApplication::restoreOverrideCursor();
            --cursorDepth_;
        }
    };
    if (QThread::currentThread() == thread())
        change();
    else
        QMetaObject::invokeMethod(this, change, Qt::QueuedConnection);
}

PromptAnswer GuiRunHost::ask(const PromptMessage& message)
{
    if (silent_.load())
        return escapeAnswer(message.buttons);
    PromptAnswer answer = escapeAnswer(message.buttons);
    onGuiThread([&] {
        if (silent_.load())
            return;
        PromptMessage owned = message;
        if (owned.owner == nullptr)
            owned.owner = boxOwner_;
        answer = guiPrompt_.ask(owned);
    });
    return answer;
}

}  // namespace renvo
