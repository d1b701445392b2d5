// Uninstrv: removes Renvo's files from its own folder and, on request, its settings key.
// Arguments are ignored; the exit status is always 0.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "platform/Program.h"
#include "platform/Registry.h"
#include "uninstall/Uninstaller.h"

namespace {

using namespace renvo;

class QtUninstallUi : public UninstallUi {
public:
    MsgAnswer showMessage(const UninstallMessage& message) override
    {
        QMessageBox box;
        box.setWindowTitle(QString::fromStdString(message.caption));
        box.setTextFormat(Qt::PlainText);
        box.setText(QString::fromStdString(message.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        box.setIcon(message.icon == MsgIcon::Question ? QMessageBox::Question : QMessageBox::Information);
        if (message.buttons == MsgButtons::Ok) {
            QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            box.setDefaultButton(ok);
            box.setEscapeButton(ok);
            box.exec();
            return MsgAnswer::Ok;
        }
        QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(message.defaultButton == MsgAnswer::No ? no : yes);
        box.setEscapeButton(no);  // Escape and closing the box answer No
        box.exec();
        return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QtUninstallUi ui;
    runUninstall(ui, programFolder(), userHivePath());
    return 0;
}
