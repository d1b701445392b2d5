#include "listedit/AddSearchFolder.h"

#include "guikit/HelpPopup.h"

#include "guikit/HelpWindow.h"
#include "platform/FileSys.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <utility>

// The icons live in the listedit library, a static one: nothing would pull their resource
// object in without this reference.
static void initListEditResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(listedit);
        return true;
    }();
    (void)done;
}

namespace renvo {

namespace {

constexpr int kMaxTextLength = 255;
constexpr unsigned kAddFolderHelpTopic = 29;
constexpr unsigned kBulkAddHelpTopic = 30;

void setHint(QWidget* w, const QString& hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

void setHelpContext(QWidget* w, unsigned context)
{
    attachHelp(w, context);
}

}  // namespace

void registerListEditIcons()
{
    initListEditResources();
}

QIcon listEditIcon(const QString& name)
{
    initListEditResources();
    return QIcon(QStringLiteral(":/listedit/") + name);
}

TfrmAddSearchFolder::TfrmAddSearchFolder(Prompt& prompt, std::function<void(unsigned, unsigned)> help,
                                         QWidget* parent)
    : QDialog(parent), prompt_(prompt), help_(std::move(help))
{
    // Replaced by the opener with one of the two forms.
    setWindowTitle(QStringLiteral("実行時に変更(一括追加/フォルダ追加共有)"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    setModal(true);

    Label2 = new QLabel(QStringLiteral("フォルダの指定とオプション"), this);
    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    Label1 = new QLabel(QStringLiteral("追加したいファイルのあるフォルダ(&F)："), this);
    edtFolderName = new QLineEdit(this);
    edtFolderName->setMaxLength(kMaxTextLength);
    setHint(edtFolderName, QStringLiteral("追加したいフォルダ/ファイルのあるフォルダを指定"));
    Label1->setBuddy(edtFolderName);
    btnSearchFolder = new QPushButton(QStringLiteral("..."), this);
    btnSearchFolder->setAutoDefault(false);
    btnSearchFolder->setFixedWidth(btnSearchFolder->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 14);

    chkSubFolder = new QCheckBox(QStringLiteral("サブフォルダも検索(&S)"), this);
    chkSubFolder->setChecked(false);
    setHint(chkSubFolder, QStringLiteral("サブフォルダも検索するときに指定"));

    Label3 = new QLabel(QStringLiteral("ファイルのマスク(&M)："), this);
    edtFileMask = new QLineEdit(QStringLiteral("*.*"), this);
    edtFileMask->setMaxLength(kMaxTextLength);
    setHint(edtFileMask, QStringLiteral("ファイルのマスクを指定。複数の時はスペースで区切って入力"));
    Label3->setBuddy(edtFileMask);

    btnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    btnOK->setEnabled(false);
    // Enter presses OK from the edits and the check box; a focused button takes Enter itself.
    btnOK->setDefault(true);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("キャンセル"), this);
    BitBtn3 = new QPushButton(style()->standardIcon(QStyle::SP_DialogHelpButton), QStringLiteral("ヘルプ(&H)"), this);

    // Left of the header is where the form's image is drawn; the controls indent past it.
    constexpr int headerIndent = 48 - kImageLeft;
    constexpr int bodyIndent = 56 - kImageLeft;
    auto* header = new QHBoxLayout;
    header->addSpacing(headerIndent);
    header->addWidget(Label2);
    header->addWidget(Bevel1, 1);

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(4);
    folderRow->addWidget(edtFolderName, 1);
    folderRow->addWidget(btnSearchFolder);

    auto* fields = new QVBoxLayout;
    fields->setSpacing(4);
    fields->addWidget(Label1);
    fields->addLayout(folderRow);
    fields->addSpacing(4);
    fields->addWidget(chkSubFolder);
    fields->addSpacing(4);
    fields->addWidget(Label3);
    fields->addWidget(edtFileMask);
    auto* body = new QHBoxLayout;
    body->addSpacing(bodyIndent);
    body->addLayout(fields, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn3);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kImageLeft, kImageTop + 4, 8, 8);
    layout->addLayout(header);
    layout->addSpacing(4);
    layout->addLayout(body);
    layout->addSpacing(16);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(330);

    setTabOrder(edtFolderName, btnSearchFolder);
    setTabOrder(btnSearchFolder, chkSubFolder);
    setTabOrder(chkSubFolder, edtFileMask);
    setTabOrder(edtFileMask, btnOK);
    setTabOrder(btnOK, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);
    edtFolderName->setFocus();

    connect(edtFolderName, &QLineEdit::textChanged, this, &TfrmAddSearchFolder::edtFolderNameChange);
    connect(btnSearchFolder, &QPushButton::clicked, this, &TfrmAddSearchFolder::btnSearchFolderClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAddSearchFolder::btnOKClick);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmAddSearchFolder::BitBtn3Click);
    connect(this, &QWidget::windowTitleChanged, this, [this] {
        setWindowIcon(listEditIcon(iconIndex() == 0 ? QStringLiteral("addfolder.svg") : QStringLiteral("bulkadd.svg")));
        update();
    });
    setWindowIcon(listEditIcon(QStringLiteral("bulkadd.svg")));
}

TfrmAddSearchFolder::~TfrmAddSearchFolder() = default;

void TfrmAddSearchFolder::setupAddFolder()
{
    setWindowTitle(QString::fromUtf8(kAddFolderCaption));
    Label1->setText(QStringLiteral("追加するフォルダの名前(&F)"));
    setHelpContexts(84, 85, 86);
}

void TfrmAddSearchFolder::setupBulkAdd()
{
    setWindowTitle(QString::fromUtf8(kBulkAddCaption));
    Label1->setText(QStringLiteral("追加したいファイルのあるフォルダ(&F)"));
    setHelpContexts(87, 88, 89);
}

void TfrmAddSearchFolder::setHelpContexts(unsigned folder, unsigned sub, unsigned mask)
{
    setHelpContext(edtFolderName, folder);
    setHelpContext(chkSubFolder, sub);
    setHelpContext(edtFileMask, mask);
}

bool TfrmAddSearchFolder::isAddFolderForm() const
{
    return windowTitle() == QString::fromUtf8(kAddFolderCaption);
}

unsigned TfrmAddSearchFolder::helpTopic() const
{
    return isAddFolderForm() ? kAddFolderHelpTopic : kBulkAddHelpTopic;
}

int TfrmAddSearchFolder::iconIndex() const
{
    return isAddFolderForm() ? 0 : 1;
}

QPixmap TfrmAddSearchFolder::formImage(int index)
{
    const QString name = index == 0 ? QStringLiteral("addfolder.svg") : QStringLiteral("bulkadd.svg");
    return listEditIcon(name).pixmap(QSize(kImageSize, kImageSize));
}

std::string TfrmAddSearchFolder::folderName() const
{
    return edtFolderName->text().toStdString();
}

bool TfrmAddSearchFolder::subFolders() const
{
    return chkSubFolder->isChecked();
}

std::string TfrmAddSearchFolder::fileMask() const
{
    return edtFileMask->text().toStdString();
}

void TfrmAddSearchFolder::edtFolderNameChange()
{
    // directoryExists follows links, so a link to a folder is a folder here.
    btnOK->setEnabled(directoryExists(edtFolderName->text().toStdString()));
}

void TfrmAddSearchFolder::btnSearchFolderClick()
{
    const auto chosen = prompt_.chooseFolder(
        {kFolderChooserCaption, edtFolderName->text().toStdString(), static_cast<const QWidget*>(this)});
    if (chosen)
        edtFolderName->setText(QString::fromStdString(*chosen));
}

void TfrmAddSearchFolder::btnOKClick()
{
    if (edtFileMask->text().isEmpty())
        edtFileMask->setText(QStringLiteral("*.*"));
    const std::string folder = edtFolderName->text().toStdString();
    const std::string trimmed = trimTrailingDelimiters(folder);
    if (trimmed != folder)
        edtFolderName->setText(QString::fromStdString(trimmed));
    accept();
}

void TfrmAddSearchFolder::BitBtn3Click()
{
    if (help_)
        help_(HELP_CONTEXT, helpTopic());
}

void TfrmAddSearchFolder::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(QRect(kImageLeft, kImageTop, kImageSize, kImageSize), formImage(iconIndex()));
}

}  // namespace renvo
