// The file drop target on a real widget (offscreen platform): drags are sent through the
// application as the platform's drag manager would, so acceptDrops and the drag target count.
#include "listedit/FileDrop.h"

#include "common/TempDir.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace renvo {
namespace {

using test::TempDir;
using test::writeFile;

struct Drop {
    int num = -1;
    QStringList files;
    int x = 0;
    int y = 0;
    TFileDrop* sender = nullptr;
};

std::unique_ptr<QMimeData> urlData(const QStringList& paths)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls.append(QUrl::fromLocalFile(p));
    mime->setUrls(urls);
    return mime;
}

// Sends a drag enter at pos; true when the widget took it.
bool enter(QWidget& w, const QMimeData& mime, QPoint pos)
{
    QDragEnterEvent e(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
    return e.isAccepted();
}

// A whole drag: enter, then the drop when the enter was taken. True when the drop was taken.
bool dragAndDrop(QWidget& w, const QMimeData& mime, QPoint pos)
{
    if (!enter(w, mime, pos))
        return false;
    QDropEvent e(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
    return e.isAccepted();
}

class FileDropTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        widget = std::make_unique<QWidget>();
        widget->resize(300, 200);
        drop = std::make_unique<TFileDrop>();
        drop->setOnFileDrop([this](TFileDrop& sender, int num, const QStringList& files, int x, int y) {
            drops.push_back({num, files, x, y, &sender});
        });
        drop->setControl(widget.get());
    }

    TempDir tmp;
    std::unique_ptr<QWidget> widget;
    std::unique_ptr<TFileDrop> drop;
    std::vector<Drop> drops;
};

TEST_F(FileDropTest, TwoFilesAndAFolderArriveInOrderWithThePoint)
{
    const QString b = QString::fromStdString(writeFile(tmp / "b.txt", "b"));
    const QString a = QString::fromStdString(writeFile(tmp / "a 日本.txt", "a"));
    std::filesystem::create_directories(tmp / "folder");
    const QString folder = QString::fromStdString(tmp / "folder");
    EXPECT_TRUE(widget->acceptDrops());
    const auto mime = urlData({b, a, folder});
    EXPECT_TRUE(dragAndDrop(*widget, *mime, QPoint(37, 52)));
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].num, 3);
    EXPECT_EQ(drops[0].files, (QStringList{b, a, folder}));
    EXPECT_EQ(drops[0].x, 37);
    EXPECT_EQ(drops[0].y, 52);
    EXPECT_EQ(drops[0].sender, drop.get());
}

TEST_F(FileDropTest, PointIsInTheControlsCoordinates)
{
    // Sent to a child of the control, the drag travels up to it and the point with it.
    QWidget child(widget.get());
    child.setGeometry(100, 50, 40, 40);
    const auto mime = urlData({QString::fromStdString(writeFile(tmp / "f", "x"))});
    EXPECT_TRUE(dragAndDrop(child, *mime, QPoint(5, 6)));
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].x, 105);
    EXPECT_EQ(drops[0].y, 56);
}

TEST_F(FileDropTest, WithoutHandlerTheDropIsTakenAndNothingHappens)
{
    drop->setOnFileDrop(nullptr);
    const auto mime = urlData({QString::fromStdString(writeFile(tmp / "f", "x"))});
    EXPECT_TRUE(dragAndDrop(*widget, *mime, QPoint(1, 1)));
    EXPECT_TRUE(drops.empty());
}

TEST_F(FileDropTest, AcceptFalseRefusesAtOnceAndTrueTakesAgain)
{
    const auto mime = urlData({QString::fromStdString(writeFile(tmp / "f", "x"))});
    drop->setAccept(false);
    EXPECT_FALSE(widget->acceptDrops());
    EXPECT_FALSE(dragAndDrop(*widget, *mime, QPoint(1, 1)));
    EXPECT_TRUE(drops.empty());
    drop->setAccept(true);
    EXPECT_TRUE(widget->acceptDrops());
    EXPECT_TRUE(dragAndDrop(*widget, *mime, QPoint(2, 2)));
    EXPECT_EQ(drops.size(), 1u);
}

TEST_F(FileDropTest, DragsWithoutLocalFilesAreNotTaken)
{
    QMimeData text;
    text.setText("/etc/passwd");
    EXPECT_FALSE(enter(*widget, text, QPoint(1, 1)));
    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/file.txt")});
    EXPECT_FALSE(enter(*widget, remote, QPoint(1, 1)));
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(QString::fromStdString(tmp / "f")), QUrl("https://example.org/f")});
    EXPECT_FALSE(dragAndDrop(*widget, mixed, QPoint(1, 1)));
    EXPECT_TRUE(drops.empty());
}

TEST_F(FileDropTest, HandlerExceptionIsReportedAndTheControlKeepsWorking)
{
    std::vector<std::string> errors;
    drop->onError = [&](const std::string& text) { errors.push_back(text); };
    bool fail = true;
    drop->setOnFileDrop([&](TFileDrop&, int num, const QStringList&, int, int) {
        if (fail)
            throw std::runtime_error("list is full");
        drops.push_back({num, {}, 0, 0, nullptr});
    });
    const auto mime = urlData({QString::fromStdString(writeFile(tmp / "f", "x"))});
    EXPECT_TRUE(dragAndDrop(*widget, *mime, QPoint(1, 1)));
    EXPECT_EQ(errors, (std::vector<std::string>{"list is full"}));
    fail = false;
    EXPECT_TRUE(dragAndDrop(*widget, *mime, QPoint(1, 1)));
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].num, 1);
}

TEST_F(FileDropTest, SwitchingControlUnhooksTheOldOne)
{
    QWidget other;
    const auto mime = urlData({QString::fromStdString(writeFile(tmp / "f", "x"))});
    drop->setControl(&other);
    EXPECT_EQ(drop->Control(), &other);
    EXPECT_FALSE(widget->acceptDrops());  // its own setting again
    EXPECT_FALSE(dragAndDrop(*widget, *mime, QPoint(1, 1)));
    EXPECT_TRUE(dragAndDrop(other, *mime, QPoint(3, 4)));
    ASSERT_EQ(drops.size(), 1u);
    drop->setControl(nullptr);
    EXPECT_FALSE(other.acceptDrops());
    EXPECT_FALSE(dragAndDrop(other, *mime, QPoint(3, 4)));
    EXPECT_EQ(drops.size(), 1u);
}

TEST_F(FileDropTest, DestroyedControlIsForgottenAndAcceptTurnsFalse)
{
    widget.reset();
    EXPECT_EQ(drop->Control(), nullptr);
    EXPECT_FALSE(drop->Accept());
    // A new control takes the state as it now is; the component itself still works.
    QWidget next;
    drop->setControl(&next);
    EXPECT_FALSE(next.acceptDrops());
    drop->setAccept(true);
    const auto mime = urlData({QString::fromStdString(writeFile(tmp / "f", "x"))});
    EXPECT_TRUE(dragAndDrop(next, *mime, QPoint(1, 1)));
    EXPECT_EQ(drops.size(), 1u);
}

TEST_F(FileDropTest, ComponentGoingFirstLeavesTheControlAsItWas)
{
    drop.reset();
    EXPECT_FALSE(widget->acceptDrops());
    const auto mime = urlData({QString::fromStdString(writeFile(tmp / "f", "x"))});
    EXPECT_FALSE(dragAndDrop(*widget, *mime, QPoint(1, 1)));
}

}  // namespace
}  // namespace renvo
