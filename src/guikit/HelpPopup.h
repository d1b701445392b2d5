#pragma once
// Pop-up help of a control that has a help context: its right-click menu holds the single
// entry "ヘルプ(&H)", which shows the topic's first paragraph beside the control; What's This
// (Shift+F1) shows the same text.

#include <QString>

class QWidget;

namespace renvo {

inline constexpr char kHelpContextProperty[] = "helpContext";
inline constexpr char kHelpEntryCaption[] = "ヘルプ(&H)";

// Gives the control its context number, its What's This text and the right-click menu.
void attachHelp(QWidget* control, unsigned context);
// The context number of a control or of its nearest parent that has one; 0 for none.
unsigned helpContextOf(const QWidget* control);
// Shows the pop-up help of the context beside the control (what the menu entry does).
void showContextPopup(QWidget* control, unsigned context);

}  // namespace renvo
