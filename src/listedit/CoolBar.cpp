#include "listedit/CoolBar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>

namespace renvo {

TCoolBar::TCoolBar(QWidget* parent) : QWidget(parent), rows_(new QVBoxLayout(this))
{
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TCoolBar::contextMenu);
}

int TCoolBar::addBand(QToolBar* bar, const QString& text, bool breakBefore)
{
    bar->setParent(this);
    bar->setMovable(false);
    bar->setWindowTitle(text);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bands_.push_back({bar, text, breakBefore, 0});
    relayout();
    return int(bands_.size()) - 1;
}

bool TCoolBar::bandBreak(int i) const
{
    return i == 0 || bands_.at(size_t(i)).breakBefore;
}

void TCoolBar::setBandBreak(int i, bool breakBefore)
{
    bands_.at(size_t(i)).breakBefore = breakBefore;
    relayout();
}

int TCoolBar::bandWidth(int i) const
{
    const Band& b = bands_.at(size_t(i));
    if (isVisible())
        return b.bar->width();
    return std::max(b.width, b.bar->sizeHint().width());
}

void TCoolBar::setBandWidth(int i, int width)
{
    bands_.at(size_t(i)).width = std::max(0, width);
    relayout();
}

void TCoolBar::relayout()
{
    while (QLayoutItem* taken = rows_->takeAt(0)) {
        // The row layout goes; its widget items go with it, the tool bars stay with the bar.
        std::unique_ptr<QLayoutItem> row(taken);
        if (QLayout* l = row->layout()) {
            while (QLayoutItem* item = l->takeAt(0))
                std::unique_ptr<QLayoutItem>{item};
        }
    }
    QHBoxLayout* row = nullptr;
    for (size_t i = 0; i < bands_.size(); ++i) {
        Band& b = bands_[i];
        const bool last = i + 1 == bands_.size() || bandBreak(int(i + 1));
        if (row == nullptr || bandBreak(int(i))) {
            row = new QHBoxLayout;
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(2);
            rows_->addLayout(row);
        }
        b.bar->setMinimumWidth(0);
        b.bar->setMaximumWidth(QWIDGETSIZE_MAX);
        if (!last && b.width > 0)
            b.bar->setFixedWidth(std::max(b.width, b.bar->sizeHint().width()));
        row->addWidget(b.bar, last ? 1 : 0);
    }
}

void TCoolBar::contextMenu(const QPoint& pos)
{
    // The user moves a band to a row of its own or back beside the one before it.
    QMenu menu(this);
    for (int i = 1; i < bandCount(); ++i) {
        QAction* a = menu.addAction(QString::fromUtf8("%1 を新しい行に置く").arg(bandText(i)));
        a->setCheckable(true);
        a->setChecked(bandBreak(i));
        connect(a, &QAction::toggled, this, [this, i](bool on) { setBandBreak(i, on); });
    }
    menu.exec(mapToGlobal(pos));
}

}  // namespace renvo
