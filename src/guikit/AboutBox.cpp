#include "guikit/AboutBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include <utility>

#ifndef RENVO_VERSION
#define RENVO_VERSION "unknown"
#endif
#ifndef RENVO_REVISION
#define RENVO_REVISION "unknown"
#endif

namespace renvo {

QString programVersion()
{
    return QStringLiteral("%1 (%2)").arg(QStringLiteral(RENVO_VERSION), QStringLiteral(RENVO_REVISION));
}

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    // A folder name may look like markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

AboutBox::AboutBox(QString programFolder, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    lblProgram = plainLabel(QStringLiteral("Renvo"), this);
    QFont big = lblProgram->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblProgram->setFont(big);
    lblVersion = plainLabel(QStringLiteral("バージョン %1").arg(programVersion()), this);
    lblQt = plainLabel(QStringLiteral("Qt %1").arg(QString::fromLatin1(qVersion())), this);
    lblFolder = plainLabel(QStringLiteral("プログラムフォルダ: %1").arg(std::move(programFolder)), this);
    lblFolder->setWordWrap(true);
    // The repository carries no licence file yet, so the line claims no more than authorship.
    lblLicence = plainLabel(QStringLiteral("Copyright © 2026 Renvo developers"), this);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    // Enter presses OK wherever the focus is; Escape rejects, which closes the box as well.
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    okRow->addWidget(btnOk);
    okRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    for (QLabel* l : {lblProgram, lblVersion, lblQt, lblFolder, lblLicence})
        layout->addWidget(l);
    layout->addSpacing(8);
    layout->addLayout(okRow);
    setMinimumWidth(320);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    btnOk->setFocus();
}

AboutBox::~AboutBox() = default;

}  // namespace renvo
