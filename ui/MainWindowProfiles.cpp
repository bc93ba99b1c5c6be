// The main window's commands on the emulator and the profile: play, the imports of a game list
// (from the emulator itself or from a downloaded datafile) and the options. Dialogs and choosers
// run on the GUI thread; the probe, the build and the game itself on the worker.
#include <QAction>
#include <QTreeView>
#include <algorithm>

#include "commands/Commands.h"
#include "commands/Profiles.h"
#include "platform/SystemTools.h"
#include "platform/UserPrompts.h"
#include "ui/DataFileBuilderDialog.h"
#include "ui/FileChoosers.h"
#include "ui/GameTreeModel.h"
#include "ui/MainWindow.h"
#include "ui/OptionsDialog.h"
#include "ui/WaitWindow.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// The last lines of what an emulator wrote to its standard error, for a message box.
std::string LastLines(const std::string& text, std::size_t count) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    std::size_t start = end;
    for (std::size_t lines = 0; start > 0 && lines < count; --start) {
        if (text[start - 1] == '\n' && ++lines == count) {
            break;
        }
    }
    return text.substr(start, end - start);
}

QString ChooserText(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Play

std::string TForm1::GameNameAt(const QModelIndex& index) const {
    const TreeNode* node = gameModel_->NodeAt(index);
    if (node == nullptr) {
        return {};
    }
    if (const TGame* set = node->Set()) {
        return set->Name;
    }
    // A clone node, or a ROM node, which stands for the clone of its parent node.
    const TClone* clone = gameModel_->Tree().CloneOf(gameModel_->NodeIndex(index));
    return clone != nullptr ? clone->Name : std::string();
}

void TForm1::PlayGame() {
    if (Busy()) {
        return;
    }
    const std::string game = GameNameAt(MergeTreeView->currentIndex());
    if (game.empty()) {
        prompts_.Show(MessageKind::Information, "Choose a game before playing it !");
        return;
    }
    TConfig& config = session_.Config;
    const std::string& baseDir = session_.Games.BaseDir;
    std::error_code ec;
    if (config.Exe.empty() || !fs::is_regular_file(AbsoluteFrom(baseDir, config.Exe), ec)) {
        const std::string ref = RefName();
        std::optional<std::string> chosen;
        for (;;) {
            chosen = ChooseExistingFile(this, ChooserText("select a " + ref + " executable"), baseDir,
                                        ChooserText("select a " + ref + " Executable (*)"));
            if (!chosen || IsExecutableFile(*chosen)) {
                break;
            }
            prompts_.Show(MessageKind::Error, "Incorrect " + ref + " executable");
        }
        // After Cancel the profile keeps the executable it names, gone or not: it may be on a
        // medium that is not mounted now.
        if (!chosen) {
            return;
        }
        try {
            config.SetEmuPath(DirectoryOf(*chosen));
            config.SetExe(*chosen);
        } catch (const std::exception& e) {
            prompts_.Show(MessageKind::Error, e.what());
            return;
        }
        UpdateInfoPanel();
    }
    const std::string exe = AbsoluteFrom(baseDir, config.Exe);
    const std::vector<std::string> commandLine = PlayCommandLine(exe, config.RunCmd, game);
    // The emulator finds its own files (its configuration, relative ROM paths) from its folder.
    const std::string exeDir = DirectoryOf(exe);
    auto outcome = std::make_shared<PlayOutcome>();
    RunInBackground([commandLine, exeDir, outcome](GuiJob&) { *outcome = RunGame(commandLine, exeDir); },
                    [this, exe, outcome](const std::exception_ptr& error) {
                        ReportError(error);
                        if (!error && outcome->ExitCode == kProcessNotWaited) {
                            prompts_.Show(MessageKind::Error, "Cannot start " + exe + ".");
                        } else if (!error && outcome->ExitCode != 0) {
                            std::string text = exe + " ended with exit code " + std::to_string(outcome->ExitCode) + ".";
                            if (const std::string said = LastLines(outcome->ErrorTail, 8); !said.empty()) {
                                text += "\n\n" + said;
                            }
                            prompts_.Show(MessageKind::Warning, text);
                        }
                        Q_EMIT CommandFinished();
                    },
                    // A game is no wait: the window is only disabled until it ends.
                    /*hourglass=*/false);
}

// ---------------------------------------------------------------------------------------------
// Imports

void TForm1::ImportGames(ListingKind kind) {
    if (Busy()) {
        return;
    }
    const std::string family = kind == ListingKind::Mame ? "mame" : "raine";
    const std::optional<std::string> exe =
        ChooseExistingFile(this, ChooserText("select a " + family + " executable"), session_.Games.BaseDir,
                           ChooserText("select a " + family + " Executable (*)"));
    if (!exe) {
        return;
    }
    auto version = std::make_shared<std::string>();
    RunInBackground(
        [this, kind, exe = *exe, version](GuiJob& job) { *version = ProbeEmulator(session_, kind, exe, job); },
        [this, kind, exe = *exe, version](const std::exception_ptr& error) {
            if (error) {
                try {
                    std::rethrow_exception(error);
                } catch (const EProfileError&) {
                    prompts_.Show(MessageKind::Error, IncorrectExecutable(kind));
                    ImportGames(kind);  // the chooser again
                } catch (...) {
                    ReportError(error);
                    Q_EMIT CommandFinished();
                }
                return;
            }
            TGamesList& games = session_.Games;
            games.EmulatorTitle = *version;
            games.EmulatorExe = exe;
            games.EmulatorDir = DirectoryOf(exe);
            const bool mame = kind == ListingKind::Mame;
            DataFileBuilder->Prepare(mame ? BuilderSource::Mame : BuilderSource::Raine, exe, *version,
                                     mame ? "Mame" : "Raine");
            if (DataFileBuilder->exec() != QDialog::Accepted) {
                Q_EMIT CommandFinished();
                return;
            }
            const std::string name = DataFileBuilder->DatafileNameText();
            BuildProfile(
                [this, kind, exe, name](GuiJob& job) { return ImportEmulatorProfile(session_, kind, exe, name, job); });
        });
}

void TForm1::ImportDatafile1Click() {
    if (Busy()) {
        return;
    }
    const std::optional<std::string> file =
        ChooseExistingFile(this, "select a datafile", session_.Games.BaseDir,
                           "Datafiles (*.dat *.DAT *.xml *.XML *.gz *.GZ *.zip *.ZIP);;All files (*)");
    if (!file) {
        return;
    }
    DataFileBuilder->Prepare(BuilderSource::Datafile, *file, {}, ProfileNameOfListingFile(*file));
    if (DataFileBuilder->exec() != QDialog::Accepted) {
        return;
    }
    const std::string name = DataFileBuilder->DatafileNameText();
    BuildProfile([this, file = *file, name](GuiJob& job) { return ImportDatProfile(session_, file, name, {}, job); });
}

void TForm1::BuildProfile(std::function<ProfileOutcome(GuiJob&)> build) {
    PleaseWaitFrm->ShowWait(this, false);
    auto outcome = std::make_shared<ProfileOutcome>();
    LoadProfile(
        [this, build = std::move(build), outcome](GuiJob& job) {
            *outcome = build(job);
            // The new profile is current, its directories not scanned yet: it is loaded as any.
            if (outcome->Loaded) {
                session_.UseEmulator(outcome->Name, job);
            }
        },
        [this, outcome](const std::exception_ptr& error) {
            LoadCBEmulator();
            UpdateInfoPanel();
            PleaseWaitFrm->HideWait(this);
            ReportError(error);
            const ListingCounts& counts = outcome->Counts;
            if (!error && (counts.SkippedGames > 0 || counts.SkippedRoms > 0 || counts.SkippedLines > 0)) {
                prompts_.Show(MessageKind::Warning, "Skipped as unusable: " + std::to_string(counts.SkippedGames) +
                                                        " games (bad name), " + std::to_string(counts.SkippedRoms) +
                                                        " ROM records (bad name, size or CRC), " +
                                                        std::to_string(counts.SkippedLines) + " lines.");
            }
            Q_EMIT CommandFinished();
        });
}

// ---------------------------------------------------------------------------------------------
// Options

void TForm1::Options1Click() {
    if (Busy() || formOptions->exec() != QDialog::Accepted) {
        return;
    }
    if (!formOptions->Changed()) {
        UpdateInfoPanel();
        Q_EMIT CommandFinished();
        return;
    }
    PleaseWaitFrm->ShowWait(this, false);
    RunThenShowTree([this](GuiJob& job) { session_.Paths.Scan(false, job); },
                    [this](const std::exception_ptr& error) {
                        RefreshZipTree(false);
                        PleaseWaitFrm->HideWait(this);
                        UpdateInfoPanel();
                        ReportError(error);
                        Q_EMIT CommandFinished();
                    });
}

}  // namespace qm
