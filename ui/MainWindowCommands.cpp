// The main window's commands: loading a profile, refreshing the trees, the smart list, reload,
// audit and the HTML reports (play, the imports and the options are in MainWindowProfiles.cpp). Each runs its engine
// steps on the worker thread and its window steps before and after, on the GUI thread.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTreeView>
#include <algorithm>

#include "commands/Commands.h"
#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "reports/RepairReport.h"
#include "ui/AuditOptions.h"
#include "ui/CdUpdateDialog.h"
#include "ui/DisplayText.h"
#include "ui/GameTreeModel.h"
#include "ui/MainWindow.h"
#include "ui/ProgressWindow.h"
#include "ui/RepairOptions.h"
#include "ui/ReportWindow.h"
#include "ui/StartupWindow.h"
#include "ui/WaitWindow.h"

namespace qm {

namespace {

// More problem lines than this are counted, not listed.
constexpr std::size_t kProblemLinesShown = 12;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Running operations

void TForm1::RunInBackground(std::function<void(GuiJob&)> work, std::function<void(std::exception_ptr)> done,
                             bool hourglass) {
    problemLines_.clear();
    setEnabled(false);
    // Disabling this window disables the windows it owns; the one showing the progress (and
    // its Cancel) stays usable.
    for (QWidget* window : {static_cast<QWidget*>(ProgressFrm), static_cast<QWidget*>(PleaseWaitFrm)}) {
        if (window->isVisible()) {
            window->setEnabled(true);
        }
    }
    if (hourglass) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    const bool started = runner_.Start([work = std::move(work)](GuiJob& job) { work(job); },
                                       [this, hourglass, done = std::move(done)](const std::exception_ptr& error) {
                                           if (hourglass) {
                                               QApplication::restoreOverrideCursor();
                                           }
                                           // A window still up (wait, progress or start-up) enables this one
                                           // when it goes.
                                           if (!PleaseWaitFrm->isVisible() && !ProgressFrm->isVisible() &&
                                               !CDUpdate->ProgressFrm->Form()->isVisible()) {
                                               setEnabled(true);
                                           }
                                           ShowProblemLines();
                                           done(error);
                                       });
    if (!started) {
        // Commands check Busy() first; should one slip through, the window is not left disabled.
        if (hourglass) {
            QApplication::restoreOverrideCursor();
        }
        setEnabled(true);
    }
}

void TForm1::RunThenShowTree(std::function<void(GuiJob&)> steps, std::function<void(std::exception_ptr)> after,
                             bool hourglass) {
    auto tree = std::make_shared<GameTree>();
    RunInBackground(
        [this, steps = std::move(steps), tree](GuiJob& job) {
            std::exception_ptr error;
            try {
                if (steps) {
                    steps(job);
                }
            } catch (...) {
                error = std::current_exception();
            }
            // Whatever became of the steps, the tree shows the database as it now is.
            *tree = BuildGameTree(job);
            if (error) {
                std::rethrow_exception(error);
            }
        },
        [this, tree, after = std::move(after)](const std::exception_ptr& error) {
            ShowGameTree(std::move(*tree));
            if (after) {
                after(error);
            }
        },
        hourglass);
}

GameTree TForm1::BuildGameTree(Job& job) {
    const TConfig& config = session_.Config;
    const DisplayFilter filter = FilterOfSetting(config.DisplayFilter);
    const DisplayLevel level = LevelOfSetting(config.DisplayLevel);
    const RomNodeOptions options{.MergedView = config.MergedView, .ShowNoGoodDump = config.ShowNoGoodDump};
    return FillGameTree(session_.SubList, filter, level, options, job);
}

void TForm1::ShowGameTree(GameTree tree) {
    LblWorking->setText(QString::number(tree.Working));
    LblAvailable->setText(QString::number(tree.Available));
    LblMissing->setText(QString::number(tree.Missing));
    gameModel_->SetTree(std::move(tree));
    UpdateInfoPanel();
}

void TForm1::ReportError(const std::exception_ptr& error) {
    if (!error) {
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, e.what());
    } catch (...) {
        prompts_.Show(MessageKind::Error, "Unknown error");
    }
}

void TForm1::ShowProblemLines() {
    if (problemLines_.empty()) {
        return;
    }
    std::string text;
    const std::size_t shown = std::min(problemLines_.size(), kProblemLinesShown);
    for (std::size_t i = 0; i < shown; ++i) {
        text += problemLines_[i] + "\n";
    }
    if (shown < problemLines_.size()) {
        text += "(" + std::to_string(problemLines_.size() - shown) + " more lines)\n";
    }
    problemLines_.clear();
    prompts_.Show(MessageKind::Warning, text);
}

void TForm1::OpenSavedReport(const std::filesystem::path& file) {
    if (!OpenDocument(file)) {
        prompts_.Show(MessageKind::Information, "The report is saved as " + file.string());
    }
}

// ---------------------------------------------------------------------------------------------
// Profiles

void TForm1::UseEmulator(const std::string& name, std::function<void()> then) {
    ProgressFrm->Version->setText(ToDisplay(name));
    LoadProfile([this, name](GuiJob& job) { session_.UseEmulator(name, job); },
                [this, then = std::move(then)](const std::exception_ptr& error) {
                    ReportError(error);
                    if (then) {
                        then();
                    }
                });
}

void TForm1::LoadProfile(std::function<void(GuiJob&)> load, std::function<void(std::exception_ptr)> then) {
    Clearwindows2Click();
    // The tree shows the database's own texts: it goes before the database is emptied.
    gameModel_->Clear();
    // A profile load starts with the 'no good dump known' ROMs shown, as its menu entry says.
    session_.Config.ShowNoGoodDump = true;
    session_.SubList.HideNoGoodDump = false;
    RunThenShowTree(std::move(load), [this, then = std::move(then)](const std::exception_ptr& error) {
        Action("SmartListAll")->setChecked(true);
        Action("SmartListNGDK")->setChecked(true);
        RefreshZipTree(false);
        then(error);
    });
}

void TForm1::LoadCBEmulator() {
    ShowProgressText("Loading Emulators list...");
    CBEmulator->clear();
    const TConfig& config = session_.Config;
    const std::vector<std::string> files = ListFiles(config.DataDir, "*.dat");
    const std::string current = config.CurrentEmulator + ".dat";
    // Names keep their spelling on disk: on Linux a lower-cased name reaches no file.
    std::vector<std::string> names;
    std::string selected;
    for (std::size_t k = 1; k <= files.size(); ++k) {
        ShowProgress(static_cast<int>(static_cast<double>(k) / static_cast<double>(files.size()) * 100));
        const std::string& file = files[k - 1];
        if (IsCacheFileName(file)) {
            continue;
        }
        names.push_back(file.substr(0, file.size() - 4));
        if (SameText(file, current)) {
            selected = names.back();
        }
    }
    // The list keeps itself sorted: "a" before "a-b", whatever the ".dat" after them.
    std::stable_sort(names.begin(), names.end(), FoldedLess);
    for (const std::string& name : names) {
        CBEmulator->addItem(ToDisplay(name), QByteArray::fromStdString(name));
    }
    const auto at = std::find(names.begin(), names.end(), selected);
    CBEmulator->setCurrentIndex(selected.empty() || at == names.end() ? -1 : static_cast<int>(at - names.begin()));
}

void TForm1::CBEmulatorChange() {
    const std::string name = CBEmulator->currentData().toByteArray().toStdString();
    if (Busy() || CBEmulator->currentIndex() < 0 || name == session_.Config.CurrentEmulator) {
        return;
    }
    PleaseWaitFrm->ShowWait(this, false);
    ShowProgressText("Loading datafile...");
    UseEmulator(name, [this] {
        PleaseWaitFrm->HideWait(this);
        MergeTreeView->setFocus();
        Q_EMIT CommandFinished();
    });
}

// ---------------------------------------------------------------------------------------------
// Trees

void TForm1::RefreshGameTree(bool showWait, std::function<void()> then) {
    if (showWait) {
        PleaseWaitFrm->ShowWait(this, false);
    }
    RunThenShowTree(nullptr, [this, showWait, then = std::move(then)](const std::exception_ptr& error) {
        if (showWait) {
            PleaseWaitFrm->HideWait(this);
        }
        ReportError(error);
        if (then) {
            then();
        }
    });
}

void TForm1::CheckFilterEntries() {
    static constexpr const char* kFilters[] = {"FilterAll", "FilterAvailable", "FilterPlayable", "FilterMissing"};
    Action(kFilters[static_cast<int>(checkedFilter_)])->setChecked(true);
    Action(checkedLevel_ == DisplayLevel::Set ? "SetLevel" : "CloneLevel")->setChecked(true);
}

void TForm1::ChooseFilter(DisplayFilter filter) {
    if (Busy() || filter == checkedFilter_) {
        return;
    }
    checkedFilter_ = filter;
    CheckFilterEntries();
    session_.Config.SetDisplayFilter(static_cast<std::uint8_t>(filter));
    RefreshGameTree(true, [this] { Q_EMIT CommandFinished(); });
}

void TForm1::ChooseLevel(DisplayLevel level) {
    if (Busy() || level == checkedLevel_) {
        return;
    }
    checkedLevel_ = level;
    CheckFilterEntries();
    session_.Config.SetDisplayLevel(static_cast<std::uint8_t>(level));
    RefreshGameTree(true, [this] { Q_EMIT CommandFinished(); });
}

// ---------------------------------------------------------------------------------------------
// Smart list

void TForm1::RunSmartListCommand(std::function<void(GuiJob&)> work, std::function<void()> after) {
    PleaseWaitFrm->ShowWait(this, false);
    RunThenShowTree(std::move(work), [this, after = std::move(after)](const std::exception_ptr& error) {
        if (after) {
            after();
        }
        PleaseWaitFrm->HideWait(this);
        ReportError(error);
        Q_EMIT CommandFinished();
    });
}

void TForm1::SmartListAllClick() {
    SelectNeoGeo(false, false, "SmartListAll");
}

void TForm1::SmartListNeoGeoClick() {
    SelectNeoGeo(true, false, "SmartListNeoGeo");
}

void TForm1::SmartListWoNeogeoClick() {
    SelectNeoGeo(false, true, "SmartListWoNeogeo");
}

void TForm1::SelectNeoGeo(bool only, bool without, const char* entry) {
    if (Busy()) {
        return;
    }
    session_.SubList.OnlyNeoGeo = only;
    session_.SubList.WithoutNeoGeo = without;
    RunSmartListCommand(
        [this](GuiJob& job) {
            session_.SubList.Rebuild(job);
            session_.Paths.Scan(false, job);
        },
        [this, entry] {
            Action(entry)->setChecked(true);
            Clearwindows2Click();
        });
}

void TForm1::SmartListNGDKClick() {
    if (Busy()) {
        return;
    }
    // The entry has toggled itself already.
    const bool show = Action("SmartListNGDK")->isChecked();
    session_.Config.ShowNoGoodDump = show;
    session_.SubList.HideNoGoodDump = !show;
    RunSmartListCommand(
        [this](GuiJob& job) {
            session_.SubList.Rebuild(job);
            session_.Games.ComputeStatus();
        },
        nullptr);
}

void TForm1::AllGames1Click() {
    if (Busy()) {
        return;
    }
    session_.SubList.MainGamesOnly = false;
    RunSmartListCommand([this](GuiJob& job) { session_.SubList.Rebuild(job); },
                        [this] { Action("AllGames1")->setChecked(true); });
}

void TForm1::SmartListMainGamesClick() {
    if (Busy()) {
        return;
    }
    session_.SubList.MainGamesOnly = Action("SmartListMainGames")->isChecked();
    RunSmartListCommand([this](GuiJob& job) { session_.SubList.Rebuild(job); }, nullptr);
}

void TForm1::SmartListMergedClick() {
    if (Busy()) {
        return;
    }
    const bool merged = Action("SmartListMerged")->isChecked();
    session_.SubList.MergedView = merged;
    session_.Config.MergedView = merged;
    session_.Games.MergedView = merged;
    RunSmartListCommand([this](GuiJob& job) { session_.SubList.Rebuild(job); }, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Collection commands

void TForm1::ReloadToolClick() {
    if (Busy()) {
        return;
    }
    if (!prompts_.Ask(MessageKind::Information, "Your " + RefName() +
                                                    " roms directories will be fully scanned !\n"
                                                    "Do you want to continue ?")) {
        return;
    }
    PleaseWaitFrm->ShowWait(this, false);
    RunThenShowTree(
        [this](GuiJob& job) {
            session_.Paths.Reset(true);
            session_.Paths.Scan(true, job);
        },
        [this](const std::exception_ptr& error) {
            RefreshZipTree(false);
            LoadCBEmulator();
            PleaseWaitFrm->HideWait(this);
            ReportError(error);
            Q_EMIT CommandFinished();
        });
}

void TForm1::AuditToolClick() {
    if (Busy() || AuditOptions->exec() != QDialog::Accepted) {
        return;
    }
    // The corrupted-file choice is shared with the repair: the options start from the last ones.
    const TCheckOptions options = AuditOptions->Options(session_.CheckOptions);
    PleaseWaitFrm->ShowWait(this, true);
    PleaseWaitFrm->OnCancel = [this] { runner_.RequestCancel(); };
    auto audit = [this, options](GuiJob& job) {
        // After a cancel too, RunAudit reads the collection again: archives moved or deleted
        // before it are gone from the picture.
        RunAudit(session_, options, job, [this, &job](const AuditOutcome& outcome) {
            // The rescan that follows cannot be cancelled: the Cancel button goes.
            job.CloseCancel();
            QMetaObject::invokeMethod(
                this, [this, file = outcome.ReportFile] { ShowAuditReport(file); }, Qt::QueuedConnection);
        });
    };
    // The trees are built again when the statuses were, and when archives may have gone.
    const bool refreshTrees = options.RefreshCache || options.Corrupted != CorruptedAction::Ignore;
    auto after = [this, refreshTrees](const std::exception_ptr& error) {
        if (refreshTrees) {
            RefreshZipTree(false);
        }
        PleaseWaitFrm->OnCancel = nullptr;
        PleaseWaitFrm->HideWait(this);
        ReportError(error);
        Q_EMIT CommandFinished();
    };
    if (refreshTrees) {
        RunThenShowTree(audit, after);
    } else {
        RunInBackground(audit, after);
    }
}

void TForm1::RepairToolClick() {
    if (Busy() || RepairOptions->exec() != QDialog::Accepted) {
        return;
    }
    // The corrupted-file choice is shared with the audit.
    const TCheckOptions options = RepairOptions->Options(session_.CheckOptions);
    if (options.Unknown == UnknownAction::Ignore && options.Corrupted == CorruptedAction::Ignore) {
        StartRepair(options, false);
        return;
    }
    // A repair that deletes or moves is shown first: its dry run's actions, to confirm.
    auto plan = std::make_shared<RepairOutcome>();
    PleaseWaitFrm->ShowWait(this, true);
    PleaseWaitFrm->OnCancel = [this] { runner_.RequestCancel(); };
    RunInBackground(
        [this, options, plan](GuiJob& job) {
            RepairRequest dryRun;
            dryRun.DryRun = true;
            RunRepair(session_, options, dryRun, job, *plan);
        },
        [this, options, plan](const std::exception_ptr& error) {
            PleaseWaitFrm->OnCancel = nullptr;
            PleaseWaitFrm->HideWait(this);
            if (error) {
                ReportError(error);
                Q_EMIT CommandFinished();
                return;
            }
            std::vector<std::string> lines;
            lines.reserve(plan->Result.Actions.size());
            for (const TRepairAction& action : plan->Result.Actions) {
                lines.push_back(RepairActionLine(action));
            }
            TRepairPreview preview(lines, this);
            if (preview.exec() != QDialog::Accepted) {
                Q_EMIT CommandFinished();
                return;
            }
            StartRepair(options, false);
        });
}

void TForm1::StartRepair(const TCheckOptions& options, bool force) {
    PleaseWaitFrm->ShowWait(this, true);
    PleaseWaitFrm->OnCancel = [this] { runner_.RequestCancel(); };
    auto outcome = std::make_shared<RepairOutcome>();
    RunThenShowTree(
        [this, options, force, outcome](GuiJob& job) {
            RepairRequest request;
            request.Force = force;
            // After a cancel or an error too, RunRepair reads the collection again.
            RunRepair(session_, options, request, job, *outcome);
        },
        [this, options](const std::exception_ptr& error) {
            RefreshZipTree(false);
            PleaseWaitFrm->OnCancel = nullptr;
            PleaseWaitFrm->HideWait(this);
            if (error) {
                try {
                    std::rethrow_exception(error);
                } catch (const ERepairRefused& e) {
                    // Almost always a wrong datafile; the user may know better.
                    if (prompts_.Ask(MessageKind::Warning, std::string(e.what()) + "\n\nRepair all the same ?")) {
                        StartRepair(options, true);
                        return;
                    }
                } catch (...) {
                    ReportError(error);
                }
            }
            Q_EMIT CommandFinished();
        });
}

void TForm1::ShowAuditReport(const std::filesystem::path& file) {
    PleaseWaitFrm->ShowWait(this, false);
    try {
        ReportForm->ShowAuditReport(file);
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, e.what());
    }
}

void TForm1::HtmlReportClick(HtmlReportKind kind) {
    if (Busy()) {
        return;
    }
    auto outcome = std::make_shared<HtmlReportOutcome>();
    const std::string refName = RefName();
    const std::filesystem::path folder = session_.Config.TempDir;
    RunInBackground([this, kind, outcome, refName,
                     folder](GuiJob&) { *outcome = WriteHtmlReport(kind, session_.SubList, refName, folder); },
                    [this, kind, outcome](const std::exception_ptr& error) {
                        if (error) {
                            ReportError(error);
                        } else if (ConfirmShowingHtmlReport(kind, *outcome, prompts_)) {
                            OpenSavedReport(outcome->File);
                        }
                        Q_EMIT CommandFinished();
                    });
}

}  // namespace qm
