#pragma once
// The settings pages inside a page control as the dialog shows them, over a temporary folder
// that is also the program folder and the XDG configuration folder.

#include "dialog/SettingsPages.h"

#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "guikit/HelpPopup.h"
#include "guikit/IdleDetect.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace renvo::test {

namespace fs = std::filesystem;

struct Pages {
    TempDir tmp;
    ScriptedPrompt prompt;
    IdleDetector idle;
    std::string programFolder = tmp.path() + "/";
    std::unique_ptr<QWidget> dialog = std::make_unique<QWidget>();
    QTabWidget* tabs = new QTabWidget(dialog.get());
    TSettingsPages* p = new TSettingsPages(prompt, idle, programFolder, dialog.get());
    std::optional<std::string> oldXdg;

    Pages()
    {
        tabs->addTab(p->tbsMirroring, QStringLiteral("ミラーリング"));
        tabs->addTab(p->tbsIdleOption, QStringLiteral("アイドル"));
        tabs->addTab(p->tbsDetail, QStringLiteral("詳細"));
        (new QVBoxLayout(dialog.get()))->addWidget(tabs);
        if (const char* xdg = std::getenv("XDG_CONFIG_HOME"))
            oldXdg = xdg;
        setenv("XDG_CONFIG_HOME", (tmp / "config").c_str(), 1);
    }
    ~Pages()
    {
        dialog.reset();
        if (oldXdg)
            setenv("XDG_CONFIG_HOME", oldXdg->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    // A record whose every value differs from the defaults, with an existing log folder.
    TSettings sample()
    {
        fs::create_directories(tmp / "logs");
        TSettings s = defaultSettings(programFolder);
        s.MirTopFolder = tmp / "top";
        s.Mirroring = true;
        s.Interval = minutesSpan(90);
        s.MirOnStart = true;
        s.IdleMode = 1;
        s.IdleReserved = {7, 8, 9};
        s.IdleThreshold = 45;
        s.DelOnNotExists = false;
        s.DelFilesOnDelItem = false;
        s.QueryDelFiles = false;
        s.ShowProgressDialog = false;
        s.Postpone = minutesSpan(7);
        s.FolderOption = 3;
        s.TaskPriority = 3;
        s.LimitHistory = 12;
        s.EveryTimes = 46;
        s.ProgressPosition = 2;
        s.DoneStandard = 4;
        s.LogFile = tmp / "logs/run.log";
        s.KeepLogFile = false;
        s.LogAppend = true;
        return s;
    }

    bool showActive(QWidget* page)
    {
        tabs->setCurrentWidget(page);
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog.get());
    }
};

// A check box or radio button takes clicks on its indicator and text only, which the middle
// of a stretched one misses.
inline void click(QAbstractButton* b)
{
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

inline void alt(Qt::Key key)
{
    QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
}

}  // namespace renvo::test
