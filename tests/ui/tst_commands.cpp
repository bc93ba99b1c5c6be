// The main window's commands with their dialogs, driven as a user would: the audit with its
// options and the report viewer, play, the three imports, the options dialog, and the message
// boxes themselves. Every test checks the files on disk afterwards.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <thread>

#include "UiTestSupport.h"
#include "commands/Session.h"
#include "support/Listings.h"
#include "support/TestSupport.h"
#include "ui/AuditOptions.h"
#include "ui/DataFileBuilderDialog.h"
#include "ui/FileChoosers.h"
#include "ui/MessageBoxPrompts.h"
#include "ui/OptionsDialog.h"
#include "ui/RepairOptions.h"
#include "ui/ReportWindow.h"
#include "ui/WaitWindow.h"

namespace qm::test {

class CommandsTest : public QObject, public MainWindowFixture {
    Q_OBJECT

private:
    fs::path Datafile() const { return env_->DataDir() / "test.dat"; }
    std::string Header(const fs::path& datafile) const {
        const std::string text = Slurp(datafile);
        return text.substr(0, text.find("[GAMES]"));
    }
    fs::path Scratch() const { return fs::path(form_->Session().Config.TempDir); }
    bool Shown(MessageKind kind, const std::string& text) const {
        const auto& shown = prompts_->shown;
        return std::find(shown.begin(), shown.end(), std::make_pair(kind, text)) != shown.end();
    }

    // An emulator that writes its folder and its arguments, one a line, into played.txt; for
    // "beta" it complains and fails; with a file "block" beside played.txt it waits for "go".
    fs::path WriteFakePlayer(const fs::path& dir) {
        const std::string root = env_->Root().string();
        return WriteExecutable(dir / "mame",
                               "#!/bin/sh\n"
                               "printf '%s\\n' \"$PWD\" \"$@\" > '" +
                                   root +
                                   "/played.txt'\n"
                                   "if [ -e '" +
                                   root + "/block' ]; then while [ ! -e '" + root +
                                   "/go' ]; do sleep 0.02; done; fi\n"
                                   "for a; do [ \"$a\" = beta ] && { echo 'beta: required files are missing' >&2; "
                                   "exit 3; }; done\n"
                                   "exit 0\n");
    }
    QStringList Played() const {
        return QString::fromStdString(Slurp(env_->Root() / "played.txt")).split('\n', Qt::SkipEmptyParts);
    }
    // Selects a node of the installed tree by its texts from the top.
    void Select(const QStringList& path) {
        QModelIndex index;
        for (const QString& text : path) {
            index = Child(index, text);
        }
        QVERIFY(index.isValid());
        form_->MergeTreeView->setCurrentIndex(index);
    }

private Q_SLOTS:
    void init() { MakeEnvironment(); }
    void cleanup() { TearDown(); }

    // The options are checked before the audit, the corrupted archive goes where they say, the
    // report is shown without blocking, and "&Edit" hands an exact copy to the editor.
    void auditWithOptionsAndReportViewer() {
        std::ofstream(env_->RomDir() / "broken.zip", std::ios::binary) << "this is no zip archive";
        const fs::path moveDir = env_->Root() / "bad";
        const fs::path readOnly = env_->Root() / "ro";
        fs::create_directories(moveDir);
        fs::create_directories(readOnly);
        ::setenv("QUILLMARK_TEST_READONLY_DIRS", readOnly.c_str(), 1);
        QVERIFY(Start());
        prompts_->shown.clear();  // the start-up scan's word on broken.zip
        // The viewer last showed another report under other captions.
        form_->ReportForm->setWindowTitle("Merging errors");
        form_->ReportForm->GroupBox->setTitle("Merging errors report");

        bool checked = false;
        WhenModal<TAuditOptions>([&](TAuditOptions* d) {
            QCOMPARE(d->windowTitle(), QString("Audit Options"));
            QCOMPARE(d->badfilenames->text(), QString("Incorrect zip filenames"));
            const std::vector<std::pair<QCheckBox*, bool>> defaults = {
                {d->correctroms, false},    {d->badromnames, true},   {d->badfilenames, true},
                {d->NoGoodDumpRoms, false}, {d->Spread, true},        {d->RomsNotNeeded, true},
                {d->correctfiles, false},   {d->RefreshCache, false}, {d->UnknownRoms, true}};
            for (const auto& [box, on] : defaults) {
                QCOMPARE(box->isChecked(), on);
            }
            QVERIFY(d->IgnoreCorrupted->isChecked());
            QVERIFY(d->NotSplit->isChecked());
            QVERIFY(!d->CorruptedPath->isEnabled());
            QVERIFY(!d->CorruptedLabel->isEnabled());
            d->MoveCorrupted->click();
            QVERIFY(d->CorruptedPath->isEnabled());
            d->correctfiles->setChecked(true);
            // A corrupted archive is met when the archives are read again.
            d->RefreshCache->setChecked(true);

            d->OK->click();
            QVERIFY(d->isVisible());
            QCOMPARE(prompts_->shown.back().second, std::string("Choose a directory to move corrupted files."));
            d->CorruptedPath->SetPath((env_->Root() / "nothere").string());
            d->OK->click();
            QCOMPARE(prompts_->shown.back().second, std::string("Directory not found, please choose another one."));
            d->CorruptedPath->SetPath(readOnly.string());
            d->OK->click();
            QCOMPARE(prompts_->shown.back().second, std::string("Directory read only, please choose another one."));
            QCOMPARE(prompts_->shown.back().first, MessageKind::Warning);
            QVERIFY(d->isVisible());
            // Typed without its trailing '/', which the check adds.
            d->CorruptedPath->SetPath(moveDir.string());
            d->OK->click();
            QVERIFY(!d->isVisible());
            checked = true;
        });
        QVERIFY(Run("AuditTool"));
        QVERIFY(checked);
        QCOMPARE(form_->AuditOptions->CorruptedPath->Path(), moveDir.string() + "/");

        // The corrupted archive was moved, and the tree shows the collection as it now is.
        QVERIFY(!fs::exists(env_->RomDir() / "broken.zip"));
        QVERIFY(fs::exists(moveDir / "broken.zip"));
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());

        const std::string saved = Slurp(Scratch() / "report.txt");
        QVERIFY(saved.find("alpha.zip") != std::string::npos);
        QVERIFY(saved.find(" : File name correct\r\n") != std::string::npos);
        QVERIFY(saved.ends_with("\r\n\r\n------------ end of report\r\n"));
        TReportForm* viewer = form_->ReportForm;
        QVERIFY(viewer->isVisible());
        QVERIFY(!viewer->isModal());
        QCOMPARE(viewer->windowTitle(), QString("Quillmark Audit Report"));
        QCOMPARE(viewer->GroupBox->title(), QString("Audit report"));
        QVERIFY(viewer->Memo1->isReadOnly());
        QCOMPARE(viewer->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
        QString shown = QString::fromStdString(saved);
        shown.replace("\r\n", "\n");
        shown.chop(1);
        QCOMPARE(viewer->Memo1->toPlainText(), shown);
        QCOMPARE(viewer->Memo1->textCursor().position(), 0);
        QVERIFY(opened_.empty());

        QTest::mouseClick(viewer->Edit, Qt::LeftButton);
        QCOMPARE(Slurp(Scratch() / "qmreport.txt"), saved);
        QCOMPARE(opened_, std::vector<fs::path>{Scratch() / "qmreport.txt"});

        // The dialog keeps its choices; Cancel runs nothing.
        WhenModal<TAuditOptions>([](TAuditOptions* d) {
            QVERIFY(d->correctfiles->isChecked());
            QVERIFY(d->MoveCorrupted->isChecked());
            d->Cancel->click();
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("AuditTool")->trigger();
        QVERIFY(!finished.wait(300));
        QVERIFY(!form_->Busy());
    }

    // An audit with nothing to report writes exactly three lines; a cancelled one shows the
    // cancel as an error and no report.
    void auditNothingToReportAndCancel() {
        QVERIFY(Start());
        auto uncheckAll = [](TAuditOptions* d) {
            for (QCheckBox* box : d->findChildren<QCheckBox*>()) {
                box->setChecked(false);
            }
            d->OK->click();
        };
        WhenModal<TAuditOptions>(uncheckAll);
        QVERIFY(Run("AuditTool"));
        const std::string expected = "Nothing to report !\r\n\r\n------------ end of report\r\n";
        QCOMPARE(Slurp(Scratch() / "report.txt"), expected);
        QCOMPARE(form_->ReportForm->Lines(),
                 (std::vector<std::string>{"Nothing to report !", "", "------------ end of report"}));
        form_->ReportForm->hide();
        prompts_->shown.clear();

        // The audit waits at its first entry until Cancel was pressed.
        std::atomic<bool> halfway{false};
        std::atomic<bool> pressed{false};
        form_->Session().BeforeEntryCheck = [&](const TZipRom&) {
            if (!halfway.exchange(true)) {
                while (!pressed) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        };
        WhenModal<TAuditOptions>([](TAuditOptions* d) {
            d->badfilenames->setChecked(true);
            d->OK->click();
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("AuditTool")->trigger();
        QTRY_VERIFY(halfway.load());
        QVERIFY(form_->PleaseWaitFrm->Cancel->isVisible());
        QTest::mouseClick(form_->PleaseWaitFrm->Cancel, Qt::LeftButton);
        pressed = true;
        QVERIFY(finished.wait(20000));
        form_->Session().BeforeEntryCheck = nullptr;
        QCOMPARE(prompts_->shown.size(), std::size_t{1});
        QVERIFY(Shown(MessageKind::Error, "Process cancelled by user !"));
        QVERIFY(!form_->ReportForm->isVisible());
        QCOMPARE(Slurp(Scratch() / "report.txt"), expected);
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());
    }

    // The emulator runs in its folder with the run command's words and the game's name as
    // arguments; the window is disabled meanwhile, not frozen.
    // The repair options are checked in the dialog's order, a delete is confirmed, the dry run's
    // actions are shown before anything changes, and the repair then does just that on disk.
    void repairWithOptionsAndPreview() {
        fs::rename(env_->RomDir() / "alpha.zip", env_->RomDir() / "alfa.zip");
        MakeZip(env_->RomDir() / "stranger.zip", {{"notes.txt", "not a rom"}});
        QVERIFY(Start());
        prompts_->shown.clear();
        bool checked = false;
        WhenModal<TRepairOptions>([&](TRepairOptions* d) {
            QCOMPARE(d->windowTitle(), QString("Repair Options"));
            QVERIFY(!d->OptionsGroup->isVisible());
            for (QCheckBox* box : {d->cleanSet, d->Spread, d->nogooddump}) {
                QVERIFY(box->isChecked());
            }
            QVERIFY(d->IgnoreUnknown->isChecked());
            QVERIFY(d->IgnoreCorrupted->isChecked());
            QVERIFY(!d->UnknownPath->isEnabled());
            d->DeleteUnknown->click();
            d->MoveCorrupted->click();
            QVERIFY(d->CorruptedPath->isEnabled());
            d->OK->click();
            // The folder is checked before the delete is confirmed.
            QVERIFY(d->isVisible());
            QCOMPARE(prompts_->shown.back().second, std::string("Select a directory to move corrupted files."));
            QVERIFY(prompts_->asked.empty());
            d->IgnoreCorrupted->click();
            d->OK->click();
            QVERIFY(!d->isVisible());
            QCOMPARE(prompts_->asked.size(), std::size_t{1});
            QVERIFY(prompts_->asked[0].second.find("You choose to delete bad or unknown files.") != std::string::npos);
            checked = true;
        });
        bool previewed = false;
        WhenModal<TRepairPreview>([&](TRepairPreview* preview) {
            QStringList lines;
            for (int i = 0; i < preview->Actions->count(); ++i) {
                lines << preview->Actions->item(i)->text();
            }
            const QString roms = Text(env_->RomDir()) + "/";
            QCOMPARE(lines, QStringList({"rename archive " + roms + "alfa.zip -> alpha.zip",
                                         "delete archive " + roms + "stranger.zip (to the Trash)"}));
            // Nothing has changed yet.
            QVERIFY(fs::exists(env_->RomDir() / "alfa.zip"));
            QVERIFY(fs::exists(env_->RomDir() / "stranger.zip"));
            previewed = true;
            preview->OK->click();
        });
        QVERIFY(Run("RepairTool"));
        QVERIFY(checked);
        QVERIFY(previewed);
        QVERIFY(!fs::exists(env_->RomDir() / "alfa.zip"));
        QCOMPARE(ArchiveListing(env_->RomDir() / "alpha.zip").size(), std::size_t{2});
        QVERIFY(!fs::exists(env_->RomDir() / "stranger.zip"));
        QVERIFY(fs::exists(env_->Root() / "share/Trash/files/stranger.zip"));

        // Cancelled at the preview, nothing changes.
        MakeZip(env_->RomDir() / "other.zip", {{"notes.txt", "not a rom either"}});
        WhenModal<TRepairOptions>([](TRepairOptions* d) { d->OK->click(); });
        WhenModal<TRepairPreview>([](TRepairPreview* preview) { preview->Cancel->click(); });
        QVERIFY(Run("RepairTool"));
        QVERIFY(fs::exists(env_->RomDir() / "other.zip"));
    }

    void playStartsTheEmulator() {
        const fs::path exe = WriteFakePlayer(env_->Root() / "emu dir");
        SetHeaderValue(Datafile(), "exe", exe.string());
        SetHeaderValue(Datafile(), "runcmd", "-skip_gameinfo  -window");
        QVERIFY(Start());

        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("ToolPlay")->trigger();
        QCOMPARE(prompts_->shown.back(),
                 std::make_pair(MessageKind::Information, std::string("Choose a game before playing it !")));
        QVERIFY(!form_->Busy());

        // A ROM node plays the clone of its parent node.
        Select({"Alpha Game", "Alpha Game (Japan)", "aj2.rom"});
        std::ofstream(env_->Root() / "block") << "";
        Action("Play")->trigger();
        QTRY_VERIFY(fs::exists(env_->Root() / "played.txt"));
        QVERIFY(!form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());
        QTest::qWait(50);  // the window goes on repainting meanwhile
        std::ofstream(env_->Root() / "go") << "";
        QVERIFY(finished.wait(20000));
        QVERIFY(form_->isEnabled());
        QCOMPARE(Played(), (QStringList{Text(exe.parent_path()), "-skip_gameinfo", "-window", "alphaj"}));
        fs::remove(env_->Root() / "block");

        // A set node plays the set.
        Select({"Alpha Game"});
        QVERIFY(Run("Play1"));
        QCOMPARE(Played().last(), QString("alpha"));

        // A failing emulator is reported with what it said.
        prompts_->shown.clear();
        Select({"Beta Blaster"});
        QVERIFY(Run("ToolPlay"));
        QCOMPARE(prompts_->shown.size(), std::size_t{1});
        QCOMPARE(prompts_->shown[0].first, MessageKind::Warning);
        QCOMPARE(prompts_->shown[0].second,
                 exe.string() + " ended with exit code 3.\n\nbeta: required files are missing");
    }

    // Without an executable the chooser asks for one until it gets one that runs; it is kept in
    // the profile and the settings. Cancel keeps what the profile names.
    void playAsksForTheExecutable() {
        SetHeaderValue(Datafile(), "exe", (env_->Root() / "gone" / "mame").string());
        QVERIFY(Start());
        Select({"Gamma Quest", "Zeta Gamma"});
        WhenModal<QFileDialog>([](QFileDialog* chooser) {
            QCOMPARE(chooser->windowTitle(), QString("select a mame executable"));
            chooser->reject();
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("Play")->trigger();
        QVERIFY(!finished.wait(200));
        QVERIFY(Header(Datafile()).find("exe=" + (env_->Root() / "gone" / "mame").string() + "\r\n") !=
                std::string::npos);
        QVERIFY(!fs::exists(env_->Root() / "played.txt"));

        const fs::path text = env_->Root() / "readme.txt";
        std::ofstream(text) << "not a program";
        const fs::path exe = WriteFakePlayer(env_->Root() / "emu");
        WhenModal<QFileDialog>([&](QFileDialog* chooser) {
            ChooseInNextChooser(exe);
            Choose(chooser, text);
        });
        QVERIFY(Run("Play"));
        QVERIFY(Shown(MessageKind::Error, "Incorrect mame executable"));
        QCOMPARE(Played().last(), QString("zeta"));
        // The key keeps the spelling the configuration writes it with.
        QVERIFY(Header(Datafile()).find("Exe=" + exe.string() + "\r\n") != std::string::npos);
        QVERIFY(env_->Settings().find("EmuPath=" + exe.parent_path().string() + "/\n") != std::string::npos);
        QCOMPARE(form_->MameExe->text(), Text(exe));
    }

    // Import of a MAME listing: a program that is no MAME is refused and the chooser comes back;
    // the builder dialog takes a valid name only; the new profile is current and shown.
    void importMameGames() {
        QVERIFY(Start());
        const fs::path notMame = WriteExecutable(env_->Root() / "other" / "tool", "#!/bin/sh\nexit 1\n");
        const fs::path mame =
            WriteFakeEmulator(env_->Root() / "bin", "MAME v0.251 (unknown)\nCopyright\n", "", ListXmlSample());
        WhenModal<QFileDialog>([&](QFileDialog* chooser) {
            QCOMPARE(chooser->windowTitle(), QString("select a mame executable"));
            ChooseInNextChooser(mame);
            Choose(chooser, notMame);
        });
        bool built = false;
        WhenModal<TDataFileBuilder>([&](TDataFileBuilder* d) {
            QCOMPARE(d->windowTitle(), QString("Mame informations"));
            QCOMPARE(d->ExeFile->text(), Text(mame));
            QCOMPARE(d->Version->text(), QString("MAME v0.251 (unknown)"));
            QCOMPARE(d->DatafileName->text(), QString("Mame"));
            QVERIFY(d->MameImage->isVisibleTo(d));
            QVERIFY(!d->RaineImage->isVisibleTo(d));
            d->DatafileName->setText("../escape");
            d->Build->click();
            QVERIFY(d->isVisible());
            QCOMPARE(prompts_->shown.back().first, MessageKind::Warning);
            d->DatafileName->setText("MAME 0.251");
            d->Build->click();
            built = true;
        });
        QVERIFY(Run("ChangeEmulatorExe1"));
        QVERIFY(built);
        QVERIFY(Shown(MessageKind::Error, "Incorrect mame executable"));
        const fs::path made = env_->DataDir() / "MAME 0.251.dat";
        QVERIFY(Header(made).find("refname=mame\r\nversion=MAME v0.251 (unknown)\r\nexe=" + mame.string() + "\r\n") !=
                std::string::npos);
        QVERIFY(!fs::exists(env_->Root() / "escape.dat"));
        QCOMPARE(form_->Session().Config.CurrentEmulator, std::string("MAME 0.251"));
        QVERIFY(env_->Settings().find("CurrentEmulator=MAME 0.251") != std::string::npos);
        QCOMPARE(form_->CBEmulator->currentText(), QString("MAME 0.251"));
        QVERIFY(TopRows().contains("Pac-Man (Midway)"));
        QCOMPARE(form_->MameExe->text(), Text(mame));
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());
    }

    // A Raine import whose builder dialog is cancelled writes nothing and keeps the profile; only
    // the emulator's version, executable and folder are taken.
    void importCancelledInTheBuilder() {
        QVERIFY(Start());
        const fs::path raine = WriteFakeEmulator(env_->Root() / "raine", "Raine\nversion 0.51.2\n", "", "");
        ChooseInNextChooser(raine);
        WhenModal<TDataFileBuilder>([](TDataFileBuilder* d) {
            QCOMPARE(d->windowTitle(), QString("Raine informations"));
            QCOMPARE(d->DatafileName->text(), QString("Raine"));
            QVERIFY(d->RaineImage->isVisibleTo(d));
            QVERIFY(!d->MameImage->isVisibleTo(d));
            d->Cancel->click();
        });
        QVERIFY(Run("ImportRainegames1"));
        QVERIFY(!fs::exists(env_->DataDir() / "Raine.dat"));
        QCOMPARE(form_->Session().Config.CurrentEmulator, std::string("test"));
        QCOMPARE(form_->Session().Games.EmulatorTitle, std::string("0.51.2"));
        QCOMPARE(form_->Session().Games.EmulatorExe, raine.string());
        QCOMPARE(TopRows().size(), 6);
    }

    // A downloaded Logiqx datafile becomes a profile named after its file.
    void importDatafile() {
        QVERIFY(Start());
        const fs::path listing = env_->Root() / "MAME 0.36.xml";
        std::ofstream(listing, std::ios::binary) << LogiqxSample();
        ChooseInNextChooser(listing);
        WhenModal<TDataFileBuilder>([&](TDataFileBuilder* d) {
            QCOMPARE(d->windowTitle(), QString("Datafile informations"));
            QCOMPARE(d->ExeFile->text(), Text(listing));
            QVERIFY(!d->Version->isVisibleTo(d));
            QCOMPARE(d->DatafileName->text(), QString("MAME 0.36"));
            d->Build->click();
        });
        QVERIFY(Run("ImportDatafile1"));
        QVERIFY(Header(env_->DataDir() / "MAME 0.36.dat").find("refname=mame\r\n") != std::string::npos);
        QCOMPARE(form_->Session().Config.CurrentEmulator, std::string("MAME 0.36"));
        QCOMPARE(form_->CBEmulator->currentText(), QString("MAME 0.36"));
        QVERIFY(TopRows().contains("Ms. Pac-Man"));
    }

    // The options dialog: its checks, its choosers, "Get from cfg", and what OK writes.
    void optionsDialog() {
        const fs::path readOnly = env_->Root() / "cdrom";
        const fs::path more = env_->Root() / "more";
        fs::create_directories(readOnly);
        fs::create_directories(more);
        MakeZip(more / "omega.zip", {{"o1.rom", ForgeCrc("01010101")}});
        ::setenv("QUILLMARK_TEST_READONLY_DIRS", readOnly.c_str(), 1);
        const fs::path exe = WriteFakePlayer(env_->Root() / "emu");
        QVERIFY(Start());
        const std::string romDir = env_->RomDir().string() + "/";

        // Cancel leaves everything as it was.
        WhenModal<TformOptions>([&](TformOptions* d) {
            QCOMPARE(d->windowTitle(), QString("options"));
            QCOMPARE(d->Directories(), std::vector<std::string>{romDir});
            QVERIFY(d->GetFromCfg->isEnabled());
            d->Clear->click();
            d->Cancel->click();
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("Options1")->trigger();
        QVERIFY(!finished.wait(200));

        bool checked = false;
        WhenModal<TformOptions>([&](TformOptions* d) {
            QCOMPARE(d->Directories(), std::vector<std::string>{romDir});
            QCOMPARE(d->RomsPaths->currentRow(), 0);
            d->Clear->click();
            d->OK->click();
            QVERIFY(d->isVisible());
            QCOMPARE(
                prompts_->shown.back(),
                std::make_pair(MessageKind::Warning, std::string("You must select at least one path on your HD.")));
            // Cleared and refused, the collection keeps its directories meanwhile.
            QCOMPARE(form_->Session().Paths.Paths().size(), std::size_t{1});

            ChooseInNextChooser(readOnly);
            d->Add->click();
            QCOMPARE(d->Directories(), std::vector<std::string>{readOnly.string() + "/"});
            d->OK->click();
            QVERIFY(d->isVisible());
            // Only one writable directory is needed; one already listed is not listed twice.
            ChooseInNextChooser(more);
            d->Add->click();
            ChooseInNextChooser(more);
            d->Add->click();
            QCOMPARE(d->Directories(), (std::vector<std::string>{readOnly.string() + "/", more.string() + "/"}));
            d->EmuExe->SetPath(exe.string());
            d->OK->click();
            QVERIFY(!d->isVisible());
            checked = true;
        });
        QVERIFY(Run("Options1"));
        QVERIFY(checked);
        const std::string header = Header(Datafile());
        QVERIFY(header.find("Exe=" + exe.string() + "\r\n") != std::string::npos);
        QVERIFY(header.find("romspaths=" + readOnly.string() + "/;" + more.string() + "/;\r\n") != std::string::npos);
        // The collection is the new directories', scanned: omega is there, alpha is not.
        QCOMPARE(form_->Session().Paths.Paths().size(), std::size_t{2});
        QCOMPARE(form_->LblWorking->text(), QString("1"));
        QCOMPARE(form_->MameExe->text(), Text(exe));

        // "Get from cfg" reads the emulator's configuration beside its executable.
        std::ofstream(exe.parent_path() / "mame.cfg") << "rompath = roms;" << more.string() << "\r\n";
        WhenModal<TformOptions>([&](TformOptions* d) {
            d->GetFromCfg->click();
            QVERIFY(d->Changed());
            QCOMPARE(d->Directories(),
                     (std::vector<std::string>{exe.parent_path().string() + "/roms/", more.string() + "/"}));
            d->EmuExe->SetPath((env_->Root() / "nowhere" / "mame").string());
            d->GetFromCfg->click();
            QCOMPARE(prompts_->shown.back(), std::make_pair(MessageKind::Error, std::string("Emulator not found.")));
            d->Cancel->click();
        });
        Action("Options1")->trigger();
        QCOMPARE(Header(Datafile()), header);
    }

    // The message boxes of the commands are of their kind, with their buttons.
    void messageBoxesHaveTheirKindAndButtons() {
        MessageBoxPrompts boxes;
        QVERIFY(Start(true, &boxes));
        bool seen = false;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            QCOMPARE(box->icon(), QMessageBox::Information);
            QCOMPARE(box->text(), QString("Choose a game before playing it !"));
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            // Ctrl+C copies the message.
            QApplication::clipboard()->clear();
            QTest::keySequence(box, QKeySequence::Copy);
            QCOMPARE(QApplication::clipboard()->text(), QString("Choose a game before playing it !"));
            box->button(QMessageBox::Ok)->click();
            seen = true;
        });
        Action("Play")->trigger();
        QVERIFY(seen);

        seen = false;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            QCOMPARE(box->icon(), QMessageBox::Information);
            QCOMPARE(box->text(),
                     QString("Your mame roms directories will be fully scanned !\nDo you want to continue ?"));
            QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
            box->button(QMessageBox::No)->click();
            seen = true;
        });
        Action("ReloadTool")->trigger();
        QVERIFY(seen);
        QVERIFY(!form_->Busy());
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::CommandsTest)
#include "tst_commands.moc"
