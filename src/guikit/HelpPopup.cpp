#include "guikit/HelpPopup.h"

#include <QMenu>
#include <QWhatsThis>
#include <QWidget>

#include "guikit/HelpWindow.h"

namespace renvo {

void attachHelp(QWidget* control, unsigned context)
{
    const bool hadMenu = control->property(kHelpContextProperty).isValid();
    control->setProperty(kHelpContextProperty, context);
    control->setWhatsThis(HelpWindow::contextPopupText(context));
    if (hadMenu)
        return;  // the menu reads the number when it opens
    control->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(control, &QWidget::customContextMenuRequested, control, [control](const QPoint& pos) {
        QMenu menu(control);
        QAction* entry = menu.addAction(QString::fromUtf8(kHelpEntryCaption));
        if (menu.exec(control->mapToGlobal(pos)) == entry)
            showContextPopup(control, helpContextOf(control));
    });
}

unsigned helpContextOf(const QWidget* control)
{
    for (const QWidget* w = control; w != nullptr; w = w->parentWidget()) {
        const QVariant v = w->property(kHelpContextProperty);
        if (v.isValid())
            return v.toUInt();
    }
    return 0;
}

void showContextPopup(QWidget* control, unsigned context)
{
    QString text = HelpWindow::contextPopupText(context);
    if (text.isEmpty())
        text = QString::fromUtf8("このトピックのヘルプはまだありません (%1)").arg(context);
    QWhatsThis::showText(control->mapToGlobal(QPoint(control->width() / 2, control->height())), text, control);
}

}  // namespace renvo
