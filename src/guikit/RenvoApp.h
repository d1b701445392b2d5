#pragma once
// What the program's windows need of the resident program, and no more: the list editor and
// the item and settings dialog are built on this interface, the main form implements it, and a
// window test builds its window on a small fake.

#include <QObject>

#include <cstddef>
#include <string>

class QWidget;

namespace renvo {

class IdleDetector;
class ItemList;
class Prompt;
class TFileOperation;
struct TSettings;

// The announcements of the program; windows connect to them.
class RenvoAppEvents : public QObject {
    Q_OBJECT
signals:
    // The live settings were replaced by a commit.
    void settingsChanged();
    // The program ends: open windows save what they show.
    void exitRequested();
};

class RenvoApp {
public:
    virtual ~RenvoApp() = default;

    virtual Prompt& prompt() = 0;
    virtual const std::string& programFolder() const = 0;
    // The hive of the settings and the list editor's layout; empty = the user's hive.
    virtual const std::string& hivePath() const = 0;
    virtual const TSettings& settings() const = 0;
    // Takes `settings` as the live settings, stores them and announces the change. False when
    // they could not be stored (the box has been shown; the live ones are the new ones anyway).
    virtual bool commitSettings(const TSettings& settings) = 0;
    virtual RenvoAppEvents& events() = 0;

    virtual void showHelp(unsigned command, unsigned data) = 0;
    // The run-in-progress flag.
    virtual bool mirroringNow() const = 0;
    // Starts a run now: refused during a run (box owned by owner) and without a list file.
    // True when a run was started.
    virtual bool runCommand(bool complete, QWidget* owner) = 0;
    // The file operation of the list editor's deletions and the restore: silent, no
    // confirmations, no error display, nothing to a trash.
    virtual TFileOperation& fileOperation() = 0;
    // The idle test the scheduler uses, for the settings pages' measurements.
    virtual IdleDetector& idleDetector() = 0;

    // Shows the list editor, or brings the open one forward.
    virtual void openListEditor() = 0;
    virtual void openSettingsDialog(QWidget* owner) = 0;
    // The item dialog on one row of a list (restore page first when asked). True when the row
    // was changed.
    virtual bool editItem(ItemList& list, size_t row, bool restore, QWidget* owner) = 0;
    // Ends the program as the tray's quit does.
    virtual void quit() = 0;
};

// The refusal box during a run: true when refused.
bool refusedDuringRun(RenvoApp& app, QWidget* owner);

// Shows a window, restored when it is minimised, in front and active.
void bringToFront(QWidget* window);

// "フォルダの選択": the caption of every folder chooser of the windows.
inline constexpr char kFolderChooserCaption[] = "フォルダの選択";

}  // namespace renvo
