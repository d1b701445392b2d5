#include "listedit/FileDrop.h"

#include <QDebug>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QUrl>

#include <exception>

namespace renvo {

TFileDrop::TFileDrop(QObject* parent) : QObject(parent) {}

TFileDrop::~TFileDrop()
{
    UnhookWindow();
}

void TFileDrop::setAccept(bool accept)
{
    if (accept == m_accept)
        return;
    m_accept = accept;
    if (m_control)
        m_control->setAcceptDrops(accept);
}

void TFileDrop::setControl(QWidget* control)
{
    UnhookWindow();
    m_control = control;
    if (control)
        m_destroyedConnection = connect(control, &QObject::destroyed, this, &TFileDrop::controlDestroyed);
    HookWindow();
}

void TFileDrop::HookWindow()
{
    if (!m_control)
        return;
    m_hadAcceptDrops = m_control->acceptDrops();
    m_control->installEventFilter(this);
    m_control->setAcceptDrops(m_accept);
}

void TFileDrop::UnhookWindow()
{
    disconnect(m_destroyedConnection);
    if (m_control) {
        m_control->removeEventFilter(this);
        m_control->setAcceptDrops(m_hadAcceptDrops);
    }
    m_control = nullptr;
}

void TFileDrop::controlDestroyed()
{
    // The widget goes with its filter; nothing to put back.
    disconnect(m_destroyedConnection);
    m_control = nullptr;
    m_accept = false;
}

bool TFileDrop::carriesLocalFiles(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    if (urls.isEmpty())
        return false;
    for (const QUrl& url : urls)
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            return false;
    return true;
}

bool TFileDrop::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_control.data())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!m_accept || !carriesLocalFiles(drag->mimeData()))
            return false;  // not ours: the widget's own handling decides
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!m_accept || !carriesLocalFiles(drop->mimeData()))
            return false;
        QStringList files;
        for (const QUrl& url : drop->mimeData()->urls())
            files.append(url.toLocalFile());
        drop->acceptProposedAction();
        // A failing handler must not leave the widget's event handling: report and go on.
        try {
            DoFileDrop(files, drop->position().toPoint());
        } catch (const std::exception& e) {
            reportError(e.what());
        } catch (...) {
            reportError("unknown exception in the file drop handler");
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

void TFileDrop::DoFileDrop(const QStringList& files, QPoint pos)
{
    if (!m_onFileDrop)
        return;
    m_onFileDrop(*this, int(files.size()), files, pos.x(), pos.y());
}

void TFileDrop::reportError(const std::string& text)
{
    if (onError)
        onError(text);
    else
        qWarning().noquote() << "file drop:" << QString::fromStdString(text);
}

}  // namespace renvo
