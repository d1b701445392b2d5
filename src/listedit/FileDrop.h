#pragma once
// Makes a widget accept files dragged from the desktop or a file manager and hands the dropped
// paths to an event (the list editor's fldAddList). GUI thread only; the event runs
// synchronously inside the widget's drop handling.

#include <functional>
#include <string>

#include <QMetaObject>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QDropEvent;
class QMimeData;

namespace renvo {

class TFileDrop : public QObject {
    Q_OBJECT

public:
    // Sender, number of paths, the local paths in drop order, drop point in the control's
    // coordinates.
    using TFileDropEvent = std::function<void(TFileDrop& sender, int num, const QStringList& files, int x, int y)>;

    explicit TFileDrop(QObject* parent = nullptr);
    ~TFileDrop() override;

    // Takes effect at once on a hooked control.
    bool Accept() const { return m_accept; }
    void setAccept(bool accept);

    // The widget that takes the drops; none hooks nothing. A control that is destroyed is
    // forgotten, and Accept becomes false.
    QWidget* Control() const { return m_control; }
    void setControl(QWidget* control);

    const TFileDropEvent& OnFileDrop() const { return m_onFileDrop; }
    void setOnFileDrop(TFileDropEvent handler) { m_onFileDrop = std::move(handler); }

    // Receives the text of an exception thrown by OnFileDrop (the program shows it in its error
    // box); the drop is finished all the same.
    std::function<void(const std::string&)> onError;

    // True for drag data that carries local files and nothing else.
    static bool carriesLocalFiles(const QMimeData* mime);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Delivers one drop to OnFileDrop; nothing without a handler.
    virtual void DoFileDrop(const QStringList& files, QPoint pos);
    virtual void HookWindow();
    virtual void UnhookWindow();

private:
    void controlDestroyed();
    void reportError(const std::string& text);

    bool m_accept = true;
    QPointer<QWidget> m_control;  // the hooked widget
    bool m_hadAcceptDrops = false;  // its own setting, put back when unhooked
    QMetaObject::Connection m_destroyedConnection;
    TFileDropEvent m_onFileDrop;
};

}  // namespace renvo
