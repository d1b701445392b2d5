#pragma once
// The keyboard's way into a window: a label whose caption has a mnemonic must pass it on to a
// control, or its Alt key does nothing.

#include <QKeySequence>
#include <QLabel>
#include <QStringList>
#include <QWidget>

namespace renvo::test {

inline QStringList labelsWithoutBuddy(const QWidget& root)
{
    QStringList dead;
    for (const QLabel* label : root.findChildren<QLabel*>())
        if (!QKeySequence::mnemonic(label->text()).isEmpty() && label->buddy() == nullptr)
            dead << label->text();
    return dead;
}

}  // namespace renvo::test
