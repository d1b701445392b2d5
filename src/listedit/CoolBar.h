#pragma once
// A bar of tool bar bands in rows, as the list editor stores them: per band whether it begins
// a new row and its width. A band's width is kept as set (at least what its buttons need);
// the last band of a row takes what is left of the row.

#include <QWidget>

#include <vector>

class QToolBar;
class QVBoxLayout;

namespace renvo {

class TCoolBar : public QWidget {
    Q_OBJECT
public:
    explicit TCoolBar(QWidget* parent = nullptr);

    // Appends a band holding the tool bar (reparented to the bar).
    int addBand(QToolBar* bar, const QString& text, bool breakBefore);
    int bandCount() const { return int(bands_.size()); }
    QToolBar* band(int i) const { return bands_.at(size_t(i)).bar; }
    QString bandText(int i) const { return bands_.at(size_t(i)).text; }

    // Whether band i begins a row; the first band always does.
    bool bandBreak(int i) const;
    void setBandBreak(int i, bool breakBefore);
    // The band's width in pixels as laid out now (or as set, before the bar is shown).
    int bandWidth(int i) const;
    void setBandWidth(int i, int width);

private:
    struct Band {
        QToolBar* bar;
        QString text;
        bool breakBefore;
        int width;  // 0 = what the buttons need
    };
    void relayout();
    void contextMenu(const QPoint& pos);

    std::vector<Band> bands_;
    QVBoxLayout* rows_;
};

}  // namespace renvo
