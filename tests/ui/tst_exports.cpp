// The Neo-Geo export and the CD update driven through their dialogs as a user would: the checks
// of OK with their messages, the work behind the wait or progress window, Cancel, and the files
// and cache files on disk afterwards.
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>
#include <fstream>

#include "UiTestSupport.h"
#include "commands/Session.h"
#include "platform/DirectoryLock.h"
#include "support/TestSupport.h"
#include "ui/CdUpdateDialog.h"
#include "ui/FileChoosers.h"
#include "ui/MessageBoxPrompts.h"
#include "ui/NeoGeoExportDialog.h"
#include "ui/ProgressWindow.h"
#include "ui/ReportWindow.h"
#include "ui/WaitWindow.h"

namespace qm::test {

namespace {

ZipEntrySpec Entry(const char* name, const char* crc) {
    return {name, ForgeCrc(crc)};
}

using Listing = std::map<std::string, std::string>;

}  // namespace

class ExportsTest : public QObject, public MainWindowFixture {
    Q_OBJECT

private:
    const TGame& Game(const char* name) const { return *form_->Session().Games.FindGame(name); }
    bool Shown(MessageKind kind, const std::string& text) const {
        const auto& shown = prompts_->shown;
        return std::find(shown.begin(), shown.end(), std::make_pair(kind, text)) != shown.end();
    }
    // Whether a folder's cache file lists an archive.
    static bool CacheLists(const fs::path& dir, const std::string& archive) {
        return Slurp(dir / "quillmark.dat").find(archive) != std::string::npos;
    }
    // Answers the next export dialog with `choices`, then OK.
    static void ExportWith(std::function<void(TNeogeoCopyOpt*)> choices) {
        WhenModal<TNeogeoCopyOpt>([choices = std::move(choices)](TNeogeoCopyOpt* d) {
            choices(d);
            d->Button1->click();
        });
    }
    // A ROM CD: alpha.zip lacks a1.rom (the collection holds it), zeta.zip is complete, and
    // shared.zip holds only a ROM two clones share, which tells no set.
    fs::path MakeRomCd() const {
        const fs::path cd = env_->Root() / "cd";
        MakeZip(cd / "alpha.zip", {Entry("a2.rom", "0aa20002")});
        MakeZip(cd / "zeta.zip", {Entry("z1.rom", "0dd10001")});
        MakeZip(cd / "shared.zip", {Entry("a1.rom", "0aa10001")});
        return cd;
    }
    // The lock of a destination folder (made), held here as another process would: an update
    // into it waits before its first archive until the lock goes.
    std::unique_ptr<DirectoryLock> HoldDestination(const fs::path& dest) {
        fs::create_directories(dest);
        form_->Session().DirCache.LockWait = std::chrono::seconds(20);
        return std::make_unique<DirectoryLock>(DirectoryLock::Acquire(dest, std::chrono::milliseconds(0)));
    }

private Q_SLOTS:
    void init() { MakeEnvironment(); }
    void cleanup() { TearDown(); }

    // The dialog's checks keep it open with their warnings; the folder starts from the
    // emulator's; moved archives leave the collection and its cache, which the tree then shows.
    void neoGeoExportMoves() {
        const fs::path emuDir = env_->Root() / "emu";
        const fs::path dest = env_->Root() / "export";
        const fs::path readOnly = env_->Root() / "cdrom";
        fs::create_directories(emuDir);
        fs::create_directories(dest);
        fs::create_directories(readOnly);
        ::setenv("QUILLMARK_TEST_READONLY_DIRS", readOnly.c_str(), 1);
        SetHeaderValue(env_->DataDir() / "test.dat", "exe", (emuDir / "mame").string());
        QVERIFY(Start());
        QVERIFY(Action("ExportNeogeoSetsto1")->isEnabled());
        QVERIFY(Game("ngame").Complete);
        const int working = form_->LblWorking->text().toInt();

        bool checked = false;
        ExportWith([&](TNeogeoCopyOpt* d) {
            QCOMPARE(d->windowTitle(), QString("Neogeo export options"));
            QCOMPARE(d->findChildren<QGroupBox*>().size(), 2);
            QCOMPARE(d->MoveFiles->text(), QString("Move games"));
            QCOMPARE(d->Copyfiles->text(), QString("Copy games"));
            QCOMPARE(d->Replace->text(), QString("Replace existing"));
            QCOMPARE(d->AllSets->text(), QString("All sets"));
            QCOMPARE(d->WorkingSets->text(), QString("Only working sets"));
            QCOMPARE(d->Button1->text(), QString("&Ok"));
            QCOMPARE(d->Button2->text(), QString("&Cancel"));
            QVERIFY(d->MoveFiles->isChecked());
            QVERIFY(d->Replace->isChecked());
            QVERIFY(d->AllSets->isChecked());
            QCOMPARE(d->DestPath->Path(), emuDir.string() + "/");

            const std::vector<std::pair<std::string, std::string>> refusals = {
                {"", "Please select a destination folder to export your files."},
                {(env_->Root() / "nothere").string(), "The path you choose does not exist !"},
                {readOnly.string(), "The path you choose is write protected !"},
            };
            for (const auto& [path, warning] : refusals) {
                d->DestPath->SetPath(path);
                d->Button2->setFocus();
                d->Button1->click();
                QVERIFY(d->isVisible());
                QCOMPARE(prompts_->shown.back(), std::make_pair(MessageKind::Warning, warning));
                QCOMPARE(d->focusWidget(), static_cast<QWidget*>(d->DestPath->Edit));
            }
            // Typed without its trailing '/', which the check adds.
            d->DestPath->SetPath(dest.string());
            checked = true;
        });
        prompts_->shown.clear();
        QVERIFY(Run("ExportNeogeoSetsto1"));
        QVERIFY(checked);
        QCOMPARE(prompts_->shown.size(), std::size_t{3});
        QCOMPARE(form_->NeogeoCopyOpt->DestPath->Path(), dest.string() + "/");

        for (const char* archive : {"neogeo.zip", "ngame.zip"}) {
            QVERIFY(!fs::exists(env_->RomDir() / archive));
            QVERIFY(fs::exists(dest / archive));
            QVERIFY(!CacheLists(env_->RomDir(), archive));
        }
        QCOMPARE(ArchiveListing(dest / "ngame.zip"), (Listing{{"n1.rom", "0ff10001"}}));
        QVERIFY(fs::exists(env_->RomDir() / "alpha.zip"));
        // The collection was read again: the Neo-Geo sets are missing now.
        QVERIFY(!Game("ngame").HasPresentRom);
        QVERIFY(Game("alpha").HasPresentRom);
        QCOMPARE(form_->LblWorking->text().toInt(), working - 2);
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());

        // Cancel exports nothing; the dialog starts from the emulator's folder again.
        MakeZip(env_->RomDir() / "ngame.zip", {Entry("n1.rom", "0ff10001")});
        WhenModal<TNeogeoCopyOpt>([&](TNeogeoCopyOpt* d) {
            QCOMPARE(d->DestPath->Path(), emuDir.string() + "/");
            d->DestPath->SetPath(dest.string());
            d->Button2->click();
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("ExportNeogeoSetsto1")->trigger();
        QVERIFY(!finished.wait(200));
        QVERIFY(fs::exists(env_->RomDir() / "ngame.zip"));
    }

    // Copies leave the collection as it is; "Only working sets" leaves out an incomplete set,
    // "Replace existing" off an archive the destination holds; with nothing left, "Nothing to
    // copy".
    void neoGeoExportCopies() {
        // ngame's archive holds no ROM of it: present, but not working.
        MakeZip(env_->RomDir() / "ngame.zip", {Entry("x.rom", "12345678")});
        const fs::path dest = env_->Root() / "copies";
        fs::create_directories(dest);
        QVERIFY(Start());
        QVERIFY(!Game("ngame").Complete);
        const QStringList rows = TopRows();

        ExportWith([&](TNeogeoCopyOpt* d) {
            d->Copyfiles->click();
            d->WorkingSets->click();
            d->DestPath->SetPath(dest.string() + "/");
        });
        QVERIFY(Run("ExportNeogeoSetsto1"));
        QVERIFY(fs::exists(dest / "neogeo.zip"));
        QVERIFY(!fs::exists(dest / "ngame.zip"));
        QVERIFY(fs::exists(env_->RomDir() / "neogeo.zip"));
        QCOMPARE(TopRows(), rows);

        // The destination's own neogeo.zip stays as it is.
        std::ofstream(dest / "neogeo.zip", std::ios::binary | std::ios::trunc) << "kept";
        ExportWith([&](TNeogeoCopyOpt* d) {
            QVERIFY(d->Copyfiles->isChecked());
            QVERIFY(d->WorkingSets->isChecked());
            d->AllSets->click();
            d->Replace->setChecked(false);
            d->DestPath->SetPath(dest.string() + "/");
        });
        QVERIFY(Run("ExportNeogeoSetsto1"));
        QCOMPARE(Slurp(dest / "neogeo.zip"), std::string("kept"));
        QCOMPARE(ArchiveListing(dest / "ngame.zip"), (Listing{{"x.rom", "12345678"}}));
        QVERIFY(prompts_->shown.empty());

        ExportWith([&](TNeogeoCopyOpt* d) { d->DestPath->SetPath(dest.string() + "/"); });
        QVERIFY(Run("ExportNeogeoSetsto1"));
        QCOMPARE(prompts_->shown,
                 (std::vector<std::pair<MessageKind, std::string>>{{MessageKind::Information, "Nothing to copy"}}));
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());
    }

    // An archive that cannot be exported ends the export with an error naming it; the archives
    // not reached stay in the collection, which is read again.
    void neoGeoExportStopsAtAFailure() {
        const fs::path dest = env_->Root() / "export";
        fs::create_directories(dest / "neogeo.zip");
        QVERIFY(Start());
        ExportWith([&](TNeogeoCopyOpt* d) { d->DestPath->SetPath(dest.string()); });
        prompts_->shown.clear();
        QVERIFY(Run("ExportNeogeoSetsto1"));
        QCOMPARE(prompts_->shown.size(), std::size_t{1});
        QCOMPARE(prompts_->shown[0].first, MessageKind::Error);
        QVERIFY(prompts_->shown[0].second.starts_with((env_->RomDir() / "neogeo.zip").string() + ": "));
        QVERIFY(fs::exists(env_->RomDir() / "neogeo.zip"));
        QVERIFY(fs::exists(env_->RomDir() / "ngame.zip"));
        QVERIFY(!fs::exists(dest / "ngame.zip"));
        QVERIFY(Game("ngame").Complete);
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());
    }

    // The export is for MAME profiles only.
    void neoGeoExportNeedsMame() {
        std::string datafile = Slurp(env_->DataDir() / "test.dat");
        datafile.replace(datafile.find("refname=mame"), 12, "refname=raine");
        std::ofstream(env_->DataDir() / "test.dat", std::ios::binary | std::ios::trunc) << datafile;
        QVERIFY(Start());
        QVERIFY(!Action("ExportNeogeoSetsto1")->isEnabled());
    }

    // The update dialog's fields and checks, the update behind the progress window, its
    // messages, and the archives of the CD completed from the collection in the destination.
    void cdUpdate() {
        const fs::path cd = MakeRomCd();
        const fs::path dest = env_->Root() / "updated" / "cd";
        QVERIFY(Start());
        QAction* entry = Action("UpdateCD1");
        QVERIFY(!entry->isVisible());

        bool checked = false;
        WhenModal<TCDUpdate>([&](TCDUpdate* d) {
            QCOMPARE(d->windowTitle(), QString("CD update options"));
            QCOMPARE(d->SrcLabel->text(), QString("Select directoy to update"));
            QCOMPARE(d->DestLabel->text(), QString("Select directoy to save updated files"));
            QCOMPARE(d->UpdateFiles->text(), QString("Update only existing files"));
            QCOMPARE(d->CreateFiles->text(), QString("Create new files if necessary"));
            QCOMPARE(d->ShowDelete->text(), QString("Show files to delete"));
            QVERIFY(d->UpdateFiles->isChecked());
            QVERIFY(!d->ShowDelete->isChecked());
            QVERIFY(!d->Button5->isVisibleTo(d));
            QCOMPARE(d->ProgressFrm->Title(), QString("Please wait..."));
            QCOMPARE(d->ProgressFrm->WaitString(), QString("Processing..."));

            // OK waits for both folders.
            QVERIFY(!d->Ok->isEnabled());
            d->SrcDirEdt->SetPath((env_->Root() / "nocd").string());
            QVERIFY(!d->Ok->isEnabled());
            d->DestDirEdt->SetPath(dest.string());
            QVERIFY(d->Ok->isEnabled());
            // Leaving a field completes its folder with '/'.
            Q_EMIT d->DestDirEdt->Edit->editingFinished();
            QCOMPARE(d->DestDirEdt->Path(), dest.string() + "/");

            d->Ok->click();
            QVERIFY(d->isVisible());
            QCOMPARE(
                prompts_->shown.back(),
                std::make_pair(MessageKind::Error, "Directory " + (env_->Root() / "nocd").string() + " not found."));
            QVERIFY(!fs::exists(dest));

            // The source through its chooser, which gives the folder with its '/'.
            ChooseInNextChooser(cd);
            d->SrcDirEdt->Browse->click();
            QCOMPARE(d->SrcDirEdt->Path(), cd.string() + "/");
            d->ShowDelete->setChecked(true);
            d->Ok->click();
            QVERIFY(!d->isVisible());
            checked = true;
        });
        prompts_->shown.clear();
        QVERIFY(Run("UpdateCD1"));
        QVERIFY(checked);
        QCOMPARE(prompts_->asked.back(),
                 std::make_pair(MessageKind::Confirmation,
                                "Directory " + dest.string() + "/ not found.\nDo you want to create it ?"));

        // alpha.zip got the ROM it lacked; the complete zeta.zip and the unknown shared.zip were
        // not copied; the CD is as it was.
        QCOMPARE(ArchiveListing(dest / "alpha.zip"), (Listing{{"a1.rom", "0aa10001"}, {"a2.rom", "0aa20002"}}));
        QVERIFY(!fs::exists(dest / "zeta.zip"));
        QVERIFY(!fs::exists(dest / "shared.zip"));
        QCOMPARE(ArchiveListing(cd / "alpha.zip"), (Listing{{"a2.rom", "0aa20002"}}));
        QCOMPARE(prompts_->shown.size(), std::size_t{2});
        QCOMPARE(prompts_->shown.back(),
                 std::make_pair(MessageKind::Information, std::string("1 files updated.\n1 files to delete.")));
        TReportForm* viewer = form_->ReportForm;
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), QString("Quillmark CD update"));
        QCOMPARE(viewer->Lines(), std::vector<std::string>{cd.string() + "/shared.zip"});

        TProgressFrm* progress = form_->CDUpdate->ProgressFrm;
        QVERIFY(!progress->Form()->isVisible());
        QCOMPARE(progress->WaitString(), QString("Processing file zeta.zip"));
        QVERIFY(form_->isEnabled());
    }

    // Cancel stops the update before its next archive and says so, then what was done.
    void cdUpdateCancelled() {
        const fs::path cd = MakeRomCd();
        const fs::path dest = env_->Root() / "updated";
        QVERIFY(Start());
        auto lock = HoldDestination(dest);
        QVERIFY(lock->Held());
        WhenModal<TCDUpdate>([&](TCDUpdate* d) {
            d->SrcDirEdt->SetPath(cd.string() + "/");
            d->DestDirEdt->SetPath(dest.string() + "/");
            d->ShowDelete->setChecked(false);
            d->Ok->click();
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("UpdateCD1")->trigger();
        TProgressForm* window = form_->CDUpdate->ProgressFrm->Form();
        QVERIFY(window->isVisible());
        QVERIFY(!form_->isEnabled());
        QVERIFY(window->isEnabled());
        QVERIFY(window->Cancel->isVisible());
        QTest::mouseClick(window->Cancel, Qt::LeftButton);
        QVERIFY(!window->Cancel->isEnabled());
        QVERIFY(form_->CDUpdate->ProgressFrm->Cancelled());
        lock.reset();
        QVERIFY(finished.wait(20000));
        QCOMPARE(prompts_->shown, (std::vector<std::pair<MessageKind, std::string>>{
                                      {MessageKind::Information, "Operation canceled by user"},
                                      {MessageKind::Information, "0 files updated."}}));
        QVERIFY(!fs::exists(dest / "alpha.zip"));
        QVERIFY(!window->isVisible());
        QVERIFY(form_->isEnabled());
    }

    // The question before the destination is made has OK and Cancel; Cancel keeps the dialog
    // open and makes nothing; the errors are error boxes.
    void cdUpdateMessageBoxes() {
        MessageBoxPrompts boxes;
        const fs::path cd = MakeRomCd();
        const fs::path dest = env_->Root() / "new";
        QVERIFY(Start(true, &boxes));
        bool seen = false;
        WhenModal<TCDUpdate>([&](TCDUpdate* d) {
            d->SrcDirEdt->SetPath(cd.string() + "/");
            d->DestDirEdt->SetPath(dest.string() + "/");
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                QCOMPARE(box->icon(), QMessageBox::Question);
                QCOMPARE(box->text(), "Directory " + Text(dest) + "/ not found.\nDo you want to create it ?");
                QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
                QCOMPARE(box->defaultButton(), box->button(QMessageBox::Ok));
                box->button(QMessageBox::Cancel)->click();
            });
            d->Ok->click();
            QVERIFY(d->isVisible());
            QVERIFY(!fs::exists(dest));

            // The CD itself is no place for the updated files.
            d->DestDirEdt->SetPath(cd.string() + "/");
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                QCOMPARE(box->icon(), QMessageBox::Critical);
                QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
                box->button(QMessageBox::Ok)->click();
            });
            d->Ok->click();
            QVERIFY(d->isVisible());
            d->Button4->click();
            seen = true;
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("UpdateCD1")->trigger();
        QVERIFY(seen);
        QVERIFY(!finished.wait(200));
        QVERIFY(!form_->Busy());
    }

    // With QM_SHOT_DIR set (scripts/gui-screenshots, on a real display): the update dialog as a
    // user fills it, and its progress window, saved as PNG files there. The menu entry is hidden,
    // so the screenshot script cannot reach the dialog by the keyboard.
    void cdUpdateForTheEye() {
        const QString dir = QString::fromLocal8Bit(qgetenv("QM_SHOT_DIR"));
        if (dir.isEmpty()) {
            QSKIP("QM_SHOT_DIR not set");
        }
        const fs::path cd = MakeRomCd();
        const fs::path dest = env_->Root() / "updated";
        QVERIFY(Start());
        auto lock = HoldDestination(dest);
        WhenModal<TCDUpdate>([&](TCDUpdate* d) {
            d->SrcDirEdt->SetPath("/media/cdrom/roms/");
            d->DestDirEdt->SetPath(dest.string() + "/");
            d->ShowDelete->setChecked(true);
            QVERIFY(d->grab().save(dir + "/cd-update.png"));
            d->SrcDirEdt->SetPath(cd.string() + "/");
            d->Ok->click();
        });
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("UpdateCD1")->trigger();
        // What the window shows while the update goes through a CD of three archives.
        form_->ShowProgressText("Processing file alpha.zip");
        form_->ShowProgress(33);
        TProgressForm* window = form_->CDUpdate->ProgressFrm->Form();
        QTest::qWait(100);
        QVERIFY(window->grab().save(dir + "/cd-update-progress.png"));
        QTest::mouseClick(window->Cancel, Qt::LeftButton);
        lock.reset();
        QVERIFY(finished.wait(20000));
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::ExportsTest)
#include "tst_exports.moc"
