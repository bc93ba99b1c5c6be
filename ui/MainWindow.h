// The main window: the drop zone and information panel on top, the zip-content pane on the
// left, the installed-roms tree with the profile chooser on the right, a status bar of five
// panels, and the menus, pop-up menus and tool buttons of every command.
//
// It owns the program-wide objects (the session: configuration, game database, smart list,
// ROM directories). Every long operation runs on a worker thread behind the start-up window or
// the wait window, with this window disabled; its reports come back as queued signals and its
// end as a continuation on the GUI thread, so a command reads top to bottom as: the steps
// before, the work, the steps after.
#pragma once

#include <QMainWindow>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/Profiles.h"
#include "commands/Session.h"
#include "config/DataFile.h"
#include "engine/SrcRomList.h"
#include "reports/HtmlReport.h"
#include "ui/GameTree.h"
#include "ui/GuiJob.h"

class QAction;
class QActionGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QModelIndex;
class QToolBar;
class QToolButton;
class QTreeView;

namespace qm {

class ContentTreeModel;
class GameTreeModel;
class TAuditOptions;
class TRepairOptions;
class TCDUpdate;
class TDataFileBuilder;
class TF_About;
class TNeogeoCopyOpt;
class TPleaseWaitFrm;
class TReportForm;
class TformOptions;
class UserPrompts;
namespace ProgressDlg {
class TProgressFrm;
}

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // Builds the program-wide objects and stores the program version; loads nothing yet (the
    // first show does). Throws when the objects cannot be made.
    TForm1(const ConfigPaths& paths, UserPrompts& prompts, QWidget* parent = nullptr);
    ~TForm1() override;

    TSession& Session() { return session_; }
    // An operation is running on the worker thread.
    bool Busy() const { return runner_.Busy(); }

    // Loads profile `name` and refreshes everything; `then` runs once it is done.
    void UseEmulator(const std::string& name, std::function<void()> then = {});
    // Fills CBEmulator with the profiles of the data directory and selects the current one.
    void LoadCBEmulator();
    // Loads the profile chosen in CBEmulator unless it is the current one.
    void CBEmulatorChange();
    // Rebuilds the installed-roms tree with the stored filter and level, then the panel.
    void RefreshGameTree(bool showWait, std::function<void()> then = {});
    // Refills the zip-content pane from the ROMs of the dropped files.
    void RefreshZipTree(bool showWait);
    void UpdateInfoPanel();

    // Progress of the running operation, to the start-up window when it is up, else to the
    // wait window when that is up.
    void ShowProgress(int position);
    void ShowProgressText(const QString& text);
    void ShowCount(int which, int value);

    // The status bar for the node at `index` of either tree.
    void TreeViewChange(QTreeView* tree, const QModelIndex& index);

    // Display filter and level (the "&Filter" submenu and FilterMenu).
    void AllClick() { ChooseFilter(DisplayFilter::All); }
    void AvailableClick() { ChooseFilter(DisplayFilter::Available); }
    void PlayableClick() { ChooseFilter(DisplayFilter::Playable); }
    void MissingClick() { ChooseFilter(DisplayFilter::Missing); }
    void SetLevelClick() { ChooseLevel(DisplayLevel::Set); }
    void CloneLevelClick() { ChooseLevel(DisplayLevel::Clone); }
    // The smart list.
    void SmartListAllClick();
    void SmartListNeoGeoClick();
    void SmartListWoNeogeoClick();
    void SmartListNGDKClick();
    void AllGames1Click();
    void SmartListMainGamesClick();
    void SmartListMergedClick();
    // Commands.
    void ReloadToolClick();
    void AuditToolClick();
    void RepairToolClick();
    void PlayGame();
    void ChangeEmulatorExe1Click() { ImportGames(ListingKind::Mame); }
    void ImportRainegames1Click() { ImportGames(ListingKind::Raine); }
    // Makes a profile of a downloaded datafile (Logiqx XML or clrmamepro text).
    void ImportDatafile1Click();
    void Options1Click();
    void HtmlReportClick(HtmlReportKind kind);
    // The Neo-Geo sets' archives moved or copied to another folder (MAME profiles).
    void ExportNeogeoSetsto1Click();
    // An updated copy of a ROM CD, completed from the collection.
    void UpdateCD1Click();
    // The drop zone and the "Zip content" pane (MainWindowNewRoms.cpp): files dropped from a file
    // manager, the All / New filter, the source report, the merge of the new ROMs.
    void OnDropFiles(const std::vector<std::string>& paths);
    void CbFilterSrcChange();
    void Report3Click();
    void Merge2Click();
    void Clearwindows2Click();
    void About2Click();
    void Quit1Click();

    // How a saved report is shown: the desktop's default program (tests replace it).
    std::function<bool(const std::filesystem::path&)> OpenDocument;

    // Controls, named as in the form.
    QListWidget* DropZoneList = nullptr;
    QLabel* MameExe = nullptr;
    QLabel* Sets = nullptr;
    QLabel* Clones = nullptr;
    QLabel* Roms = nullptr;
    QLabel* LblWorking = nullptr;
    QLabel* LblAvailable = nullptr;
    QLabel* LblMissing = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QComboBox* CbFilterSrc = nullptr;
    QTreeView* TreeViewIn = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QComboBox* CBEmulator = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QTreeView* MergeTreeView = nullptr;
    QMenu* FilterMenu = nullptr;
    QMenu* PopupNewRoms = nullptr;
    QMenu* PopupMameRoms = nullptr;
    std::vector<QLabel*> StatusPanels;
    TPleaseWaitFrm* PleaseWaitFrm = nullptr;
    ProgressDlg::TProgressFrm* ProgressFrm = nullptr;
    TF_About* F_About = nullptr;
    TformOptions* formOptions = nullptr;
    TDataFileBuilder* DataFileBuilder = nullptr;
    TAuditOptions* AuditOptions = nullptr;
    TRepairOptions* RepairOptions = nullptr;
    TReportForm* ReportForm = nullptr;
    TNeogeoCopyOpt* NeogeoCopyOpt = nullptr;
    TCDUpdate* CDUpdate = nullptr;

    GameTreeModel& GameModel() { return *gameModel_; }
    ContentTreeModel& ZipModel() { return *zipModel_; }
    const TSrcRomList& SourceRoms() const { return sources_; }
    // The dropped zip files, in drop order.
    const std::vector<std::string>& DroppedFiles() const { return droppedFiles_; }

Q_SIGNALS:
    // The first show has loaded the profile and filled the window.
    void StartupFinished();
    // A command started from the window has ended (its windows hidden, the tree shown).
    void CommandFinished();

protected:
    // The first show loads the current profile behind the start-up window.
    void showEvent(QShowEvent* event) override;
    // Closing waits for no operation: it is refused while one runs.
    void closeEvent(QCloseEvent* event) override;
    // Entering and leaving the trees updates the status bar.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void BuildMenus();
    void BuildStatusBar();
    QAction* NewAction(const char* name, const QString& caption, void (TForm1::*handler)() = nullptr);
    // An action that runs `primary` and mirrors its enabled and visible state.
    QAction* NewTwin(QAction* primary, const char* name, const QString& caption);
    QAction* Action(const char* name) const;

    void FormShow();
    void ChooseFilter(DisplayFilter filter);
    void ChooseLevel(DisplayLevel level);
    void CheckFilterEntries();
    // The smart-list commands: the steps on the worker (a rebuild, a scan...), then the tree.
    void RunSmartListCommand(std::function<void(GuiJob&)> work, std::function<void()> after);
    // All games, only Neo-Geo games or games without Neo-Geo, checking `entry`.
    void SelectNeoGeo(bool only, bool without, const char* entry);
    void ClearStatusPanels(bool withSize);

    // Runs `work` on the worker thread with this window disabled and (unless told otherwise)
    // the hourglass cursor, the engine's events bound to the job; then `done` on the GUI thread.
    // Problem lines met on the way are shown once the operation has ended.
    void RunInBackground(std::function<void(GuiJob&)> work, std::function<void(std::exception_ptr)> done,
                         bool hourglass = true);
    // RunInBackground for steps that change what the tree shows: the tree is built after them on
    // the worker (also when they fail), shown, then `after` runs.
    void RunThenShowTree(std::function<void(GuiJob&)> steps, std::function<void(std::exception_ptr)> after,
                         bool hourglass = true);
    // Fills the zip-content pane on the worker behind the wait window, after `before` (the
    // examination of dropped files).
    void FillZipTree(std::function<void(GuiJob&)> before);
    // The tree of the current smart list, filter and level; worker thread.
    GameTree BuildGameTree(Job& job);
    // Shows a built tree and its counters.
    void ShowGameTree(GameTree tree);
    // Loads a profile with `load` on the worker (the trees are emptied first: they show the
    // database's own texts), then shows the tree and the emptied zip pane; `then` gets the error.
    void LoadProfile(std::function<void(GuiJob&)> load, std::function<void(std::exception_ptr)> then);
    // The repair itself, behind the wait window with Cancel, then the trees.
    void StartRepair(const TCheckOptions& options, bool force);
    // Shows a saved audit report while the rescan after it runs, without Cancel.
    void ShowAuditReport(const std::filesystem::path& file);
    // The MAME and Raine imports: the executable chosen and probed, the builder dialog, the build.
    void ImportGames(ListingKind kind);
    // The end of every import: `build` makes the profile on the worker behind the wait window.
    void BuildProfile(std::function<ProfileOutcome(GuiJob&)> build);
    // The name of the game a node of the installed tree stands for; empty without one.
    std::string GameNameAt(const QModelIndex& index) const;
    // An error that ended an operation, as the default error handling shows it.
    void ReportError(const std::exception_ptr& error);
    void ShowProblemLines();
    void OpenSavedReport(const std::filesystem::path& file);
    std::string RefName() const { return session_.Config.RefName; }

    UserPrompts& prompts_;
    TSession session_;
    TJobRunner runner_;
    GameTreeModel* gameModel_ = nullptr;
    ContentTreeModel* zipModel_ = nullptr;
    bool firstShow_ = true;
    DisplayFilter checkedFilter_ = DisplayFilter::All;
    DisplayLevel checkedLevel_ = DisplayLevel::Set;
    std::vector<std::string> droppedFiles_;
    TSrcRomList sources_;
    std::vector<std::string> problemLines_;
    QActionGroup* filterGroup_ = nullptr;
    QActionGroup* levelGroup_ = nullptr;
};

}  // namespace qm
