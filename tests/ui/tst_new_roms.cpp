// The drop zone and the "Zip content" pane driven as a user would: zip files dropped from a file
// manager (real drag and drop events carrying a uri-list), the All / New filter with its icons,
// the source report, and the merge with its question, its error viewer and the files on disk.
#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QUrl>
#include <QtTest>
#include <fstream>

#include "UiTestSupport.h"
#include "commands/NewRoms.h"
#include "commands/Session.h"
#include "platform/DirectoryLock.h"
#include "support/TestSupport.h"
#include "ui/ContentTreeModel.h"
#include "ui/ReportWindow.h"
#include "ui/WaitWindow.h"

namespace qm::test {

namespace {

ZipEntrySpec Entry(const char* name, const char* crc) {
    return {name, ForgeCrc(crc)};
}

// The rows of the zip-content tree as "text [icon]", children indented.
QStringList Rows(const QAbstractItemModel* model, const QModelIndex& parent = {}, const QString& indent = {}) {
    QStringList rows;
    for (int i = 0; i < model->rowCount(parent); ++i) {
        const QModelIndex index = model->index(i, 0, parent);
        rows << indent + index.data().toString() + " [" +
                    QString::number(index.data(ContentTreeModel::IconRole).toInt()) + "]";
        rows << Rows(model, index, indent + "  ");
    }
    return rows;
}

}  // namespace

class NewRomsTest : public QObject, public MainWindowFixture {
    Q_OBJECT

private:
    fs::path DropDir() const { return env_->Root() / "drop"; }
    QStringList ZipRows() const { return Rows(form_->TreeViewIn->model()); }
    QStringList DropZoneLines() const {
        QStringList lines;
        for (int i = 0; i < form_->DropZoneList->count(); ++i) {
            lines << form_->DropZoneList->item(i)->text();
        }
        return lines;
    }

    // Drags `paths` over the drop zone and drops them, as a file manager does; waits for the
    // examination to end.
    bool Drop(const std::vector<fs::path>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& path : paths) {
            urls << QUrl::fromLocalFile(Text(path));
        }
        data.setUrls(urls);
        QWidget* target = form_->DropZoneList->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted() && finished.wait(20000);
    }
    bool ChooseFilter(int index) {
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        form_->CbFilterSrc->setCurrentIndex(index);
        Q_EMIT form_->CbFilterSrc->activated(index);
        return finished.wait(20000);
    }

private Q_SLOTS:
    void init() { MakeEnvironment(); }
    void cleanup() { TearDown(); }

    // Only zip files count, in drop order, twice when dropped twice, their names as on disk; the
    // tree of new ROMs leaves out what the collection holds; the filter refills it without reading
    // the files again; the report names every file.
    void dropFilterAndReport() {
        QVERIFY(Start());
        form_->Report3Click();
        QVERIFY(opened_.empty());

        const fs::path zip = MakeZip(DropDir() / "Mixed.ZIP", {Entry("g1.rom", "0cc10001"), Entry("a1.rom", "0aa10001"),
                                                               Entry("junk.bin", "12345678")});
        const fs::path other = MakeZip(DropDir() / "omega.zip", {Entry("roms/o1.rom", "01010101")});
        fs::create_directories(DropDir() / "folder.zip");
        std::ofstream(DropDir() / "notes.txt") << "not a zip";
        QMimeData text;
        text.setText("no files");
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_->DropZoneList->viewport(), &refused);
        QVERIFY(!refused.isAccepted());

        QVERIFY(Drop({zip, DropDir() / "notes.txt", DropDir() / "folder.zip", zip}));
        QCOMPARE(DropZoneLines(), QStringList({Text(zip), Text(zip)}));
        QCOMPARE(form_->DroppedFiles().size(), std::size_t{2});
        QVERIFY(form_->isEnabled());
        QCOMPARE(form_->CbFilterSrc->currentText(), QString("New"));
        QCOMPARE(ZipRows(), QStringList({"Gamma Quest [-1]", "  Gamma Quest [-1]", "    g1.rom [-1]"}));

        // A second drop adds to the first; both are examined.
        QVERIFY(Drop({other}));
        QCOMPARE(DropZoneLines(), QStringList({Text(zip), Text(zip), Text(other)}));
        QCOMPARE(form_->SourceRoms().Count(), std::size_t{3});
        QCOMPARE(form_->SourceRoms().NewRoms().size(), std::size_t{2});
        QCOMPARE(ZipRows(), QStringList({"Gamma Quest [-1]", "  Gamma Quest [-1]", "    g1.rom [-1]",
                                         "Omega Force [-1]", "  Omega Force [-1]", "    o1.rom [-1]"}));

        // Removed from the disk, the files are not read again by the filter.
        const fs::path moved = env_->Root() / "moved";
        fs::rename(DropDir(), moved);
        QVERIFY(ChooseFilter(0));
        QCOMPARE(ZipRows(), QStringList({
                                "Alpha Game [1]",
                                "  Alpha Game [1]",
                                "    a1.rom [2]",
                                "    a2.rom [0]",
                                "  Alpha Game (Japan) [1]",
                                "    a1.rom [2]",
                                "    aj2.rom [0]",
                                "Gamma Quest [2]",
                                "  Gamma Quest [2]",
                                "    g1.rom [2]",
                                "Omega Force [2]",
                                "  Omega Force [2]",
                                "    o1.rom [2]",
                            }));
        fs::rename(moved, DropDir());

        // The status bar of a ROM of the pane names its set and clone.
        const QModelIndex g1 = form_->TreeViewIn->model()->index(
            0, 0, form_->TreeViewIn->model()->index(0, 0, form_->TreeViewIn->model()->index(1, 0)));
        form_->TreeViewIn->setCurrentIndex(g1);
        QCOMPARE(form_->StatusPanels[0]->text(), QString("set : gamma"));
        QCOMPARE(form_->StatusPanels[1]->text(), QString("clone : gamma"));
        QCOMPARE(form_->StatusPanels[2]->text(), QString("crc : 0cc10001"));
        QCOMPARE(form_->StatusPanels[3]->text(), QString("size : 4"));

        form_->Report3Click();
        QCOMPARE(opened_.size(), std::size_t{1});
        QCOMPARE(opened_[0], env_->Root() / "cache" / "quillmark" / "srcreport.txt");
        const std::string report = Slurp(opened_[0]);
        QVERIFY(report.find("File " + zip.string() + ":\r\n") != std::string::npos);
        QVERIFY(report.find("     g1.rom: used in Gamma Quest\r\n") != std::string::npos);
        QVERIFY(report.find("**** junk.bin: Unknown rom file\r\n") != std::string::npos);
        QVERIFY(report.find("     o1.rom: used in Omega Force\r\n") != std::string::npos);

        Action("Clearwindows2")->trigger();
        QVERIFY(DropZoneLines().isEmpty());
        QCOMPARE(form_->TreeViewIn->model()->rowCount(), 0);
        opened_.clear();
        form_->Report3Click();
        QVERIFY(opened_.empty());
    }

    // A dropped ROM whose CRC is the complement of a ROM of which no good dump is known: its own
    // icon in the tree of new ROMs, and the checksum of the dropped file, doubted, in the status bar.
    void noGoodDumpRom() {
        QVERIFY(Start());
        QVERIFY(Drop({MakeZip(DropDir() / "beta.zip", {Entry("b2.rom", "ffffffff")})}));
        QCOMPARE(ZipRows(), QStringList({"Beta Blaster [-1]", "  Beta Blaster [-1]", "    b2.rom [10]"}));
        const QAbstractItemModel* model = form_->TreeViewIn->model();
        form_->TreeViewIn->setCurrentIndex(model->index(0, 0, model->index(0, 0, model->index(0, 0))));
        QCOMPARE(form_->StatusPanels[2]->text(), QString("crc : ffffffff ???"));
        form_->Report3Click();
        QCOMPARE(opened_.size(), std::size_t{1});
        QVERIFY(Slurp(opened_[0]).find("---- b2.rom: used in Beta Blaster (No good dump known).\r\n") !=
                std::string::npos);
    }

    // The question with OK and Cancel; the ROMs written into the collection's archives (a new
    // archive for a set that had none, a clone's ROM added to its set's archive), the trees and
    // counters refreshed; nothing left to merge afterwards.
    void mergeWritesTheNewRoms() {
        QVERIFY(Start());
        const int working = form_->LblWorking->text().toInt();
        QVERIFY(Drop({MakeZip(DropDir() / "new.zip", {Entry("o1.rom", "01010101"), Entry("aj2.rom", "0aa30003")})}));
        QCOMPARE(form_->SourceRoms().NewRoms().size(), std::size_t{2});

        prompts_->asked.clear();
        QVERIFY(Run("MergeTool"));
        QCOMPARE(prompts_->asked.size(), std::size_t{1});
        QCOMPARE(prompts_->asked[0],
                 std::make_pair(MessageKind::Confirmation,
                                std::string("The new roms will now be copied in the mame rom directory")));
        QVERIFY(form_->isEnabled());
        using Listing = std::map<std::string, std::string>;
        QCOMPARE(ArchiveListing(env_->RomDir() / "omega.zip"), Listing({{"o1.rom", "01010101"}}));
        // The clone's ROM goes into its set's archive.
        QCOMPARE(ArchiveListing(env_->RomDir() / "alpha.zip"),
                 Listing({{"a1.rom", "0aa10001"}, {"a2.rom", "0aa20002"}, {"aj2.rom", "0aa30003"}}));
        QVERIFY(Slurp(env_->RomDir() / "quillmark.dat").find("omega.zip") != std::string::npos);
        QCOMPARE(form_->SourceRoms().NewRoms().size(), std::size_t{0});
        QCOMPARE(form_->TreeViewIn->model()->rowCount(), 0);
        QVERIFY(form_->LblWorking->text().toInt() > working);

        prompts_->shown.clear();
        Action("Merge1")->trigger();
        QCOMPARE(prompts_->shown.size(), std::size_t{1});
        QCOMPARE(prompts_->shown[0], std::make_pair(MessageKind::Information, std::string(kNothingToMerge)));
    }

    // Cancel in the wait window stops the merge between archives: what was written stays, the
    // caches and trees say so, and the ROMs not merged are still new.
    void mergeCancelled() {
        QVERIFY(Start());
        QVERIFY(Drop({MakeZip(DropDir() / "new.zip", {Entry("o1.rom", "01010101"), Entry("g1.rom", "0cc10001")})}));
        // Another process holds the collection's folder: the merge waits at its first archive.
        form_->Session().DirCache.LockWait = std::chrono::seconds(20);
        auto lock =
            std::make_unique<DirectoryLock>(DirectoryLock::Acquire(env_->RomDir(), std::chrono::milliseconds(0)));
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("Merge2")->trigger();
        QVERIFY(form_->PleaseWaitFrm->Cancel->isVisible());
        QTest::mouseClick(form_->PleaseWaitFrm->Cancel, Qt::LeftButton);
        lock.reset();
        QVERIFY(finished.wait(20000));
        QVERIFY(form_->isEnabled());
        const int written =
            int(fs::exists(env_->RomDir() / "omega.zip")) + int(fs::exists(env_->RomDir() / "gamma.zip"));
        QVERIFY(written < 2);
        QCOMPARE(form_->SourceRoms().NewRoms().size(), std::size_t(2 - written));
        QCOMPARE(form_->TreeViewIn->model()->rowCount(), 2 - written);
        QVERIFY(prompts_->shown.empty());
    }

    // Declined, nothing is written and the new ROMs stay.
    void mergeDeclined() {
        QVERIFY(Start(/*answer=*/false));
        QVERIFY(Drop({MakeZip(DropDir() / "new.zip", {Entry("o1.rom", "01010101")})}));
        Action("Merge2")->trigger();
        QCOMPARE(prompts_->asked.size(), std::size_t{1});
        QVERIFY(!fs::exists(env_->RomDir() / "omega.zip"));
        QCOMPARE(form_->SourceRoms().NewRoms().size(), std::size_t{1});
        QVERIFY(form_->isEnabled());
    }

    // What the merge could not do, and the entry it moved aside, are listed in the merge error
    // viewer, shown modally under its own captions; the rest is merged.
    void mergeErrorsInTheViewer() {
        // gamma.zip holds another g1.rom: it is kept under a free name.
        MakeZip(env_->RomDir() / "gamma.zip", {Entry("g1.rom", "77777777")});
        QVERIFY(Start());
        const fs::path gone = MakeZip(DropDir() / "gone.zip", {Entry("o1.rom", "01010101")});
        QVERIFY(Drop({MakeZip(DropDir() / "new.zip", {Entry("g1.rom", "0cc10001")}), gone}));
        QCOMPARE(form_->SourceRoms().NewRoms().size(), std::size_t{2});
        fs::remove(gone);

        QStringList shown;
        QString caption;
        QString group;
        WhenModal<TReportForm>([&](TReportForm* viewer) {
            caption = viewer->windowTitle();
            group = viewer->GroupBox->title();
            shown = viewer->Memo1->toPlainText().split('\n');
            viewer->Button2->click();
        });
        QVERIFY(Run("Merge2"));
        QCOMPARE(caption, QString("Merging errors"));
        QCOMPARE(group, QString("Merging errors report"));
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown.filter("gone.zip").size() == 1, qPrintable(shown.join(" | ")));
        QVERIFY2(shown.contains("Kept " + Text(env_->RomDir() / "gamma.zip") +
                                ": g1.rom renamed g1.rom__ (another rom of that name)"),
                 qPrintable(shown.join(" | ")));
        QCOMPARE(ArchiveListing(env_->RomDir() / "gamma.zip"),
                 (std::map<std::string, std::string>{{"g1.rom", "0cc10001"}, {"g1.rom__", "77777777"}}));
        QVERIFY(!fs::exists(env_->RomDir() / "omega.zip"));
        QVERIFY(form_->isEnabled());
    }

    // For scripts/gui-screenshots: the pane after a drop, under each filter.
    void dropZoneForTheEye() {
        const QString dir = QString::fromLocal8Bit(qgetenv("QM_SHOT_DIR"));
        if (dir.isEmpty()) {
            QSKIP("QM_SHOT_DIR not set");
        }
        QVERIFY(Start());
        form_->resize(900, 560);
        QVERIFY(Drop(
            {MakeZip(DropDir() / "Downloaded Alpha.zip", {Entry("a1.rom", "0aa10001"), Entry("aj2.rom", "0aa30003")}),
             MakeZip(DropDir() / "beta.zip", {Entry("b2.rom", "ffffffff")}),
             MakeZip(DropDir() / "omega.zip", {Entry("o1.rom", "01010101")})}));
        form_->TreeViewIn->expandAll();
        form_->TreeViewIn->setFocus();
        form_->TreeViewIn->setCurrentIndex(form_->TreeViewIn->model()->index(0, 0));
        QTest::qWait(100);
        QVERIFY(form_->grab().save(dir + "/drop-zone-new.png"));
        QVERIFY(ChooseFilter(0));
        form_->TreeViewIn->expandAll();
        QTest::qWait(100);
        QVERIFY(form_->grab().save(dir + "/drop-zone-all.png"));
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::NewRomsTest)
#include "tst_new_roms.moc"
