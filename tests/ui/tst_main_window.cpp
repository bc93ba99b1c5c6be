// The main window end to end on a small profile: start-up, the tree and its counters, the
// status bar, filters and levels with their settings, the smart list, switching profiles,
// reload and a report. (The commands with dialogs are tested in tst_commands.)
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>
#include <fstream>

#include "UiTestSupport.h"
#include "commands/Session.h"
#include "platform/UserPrompts.h"
#include "support/TestSupport.h"
#include "ui/GameTreeModel.h"
#include "ui/MainWindow.h"
#include "ui/StartupWindow.h"
#include "ui/WaitWindow.h"

namespace qm::test {

class MainWindowTest : public QObject, public MainWindowFixture {
    Q_OBJECT

private:
    void WriteOtherProfile() {
        std::ofstream(env_->DataDir() / "other.dat", std::ios::binary)
            << Datafile({RomLine("solo", "Solo Run", "solo", "Solo Run", "s.rom", "0abc0001", "N", "O", "4")}, "raine",
                        env_->RomDir().string() + "/");
    }

    QStringList Panels() const {
        QStringList texts;
        for (QLabel* panel : form_->StatusPanels) {
            texts << panel->text();
        }
        return texts;
    }

private Q_SLOTS:
    void init() {
        MakeEnvironment();
        WriteOtherProfile();
        // A directory cache beside the datafiles is no profile.
        std::ofstream(env_->DataDir() / "quillmark.dat") << "cache\r\n";
    }
    void cleanup() { TearDown(); }

    void startupLoadsTheCurrentProfile() {
        QVERIFY(Start());
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->ProgressFrm->isVisible());
        QCOMPARE(form_->windowTitle(), QString("Quillmark 1.91"));
        QCOMPARE(form_->CBEmulator->count(), 2);
        QCOMPARE(form_->CBEmulator->itemText(0), QString("other"));
        QCOMPARE(form_->CBEmulator->currentText(), QString("test"));
        QCOMPARE(form_->GroupBox3->title(), QString("Test emulator"));
        QCOMPARE(form_->Sets->text(), QString("7"));
        QCOMPARE(form_->Clones->text(), QString("8"));
        QCOMPARE(form_->Roms->text(), QString("10"));
        QCOMPARE(form_->ProgressFrm->sets->text(), QString("7"));
        QCOMPARE(TopRows(),
                 (QStringList{"Alpha Game", "Beta Blaster", "Gamma Quest", "Neo Game", "Neo-Geo Bios", "Omega Force"}));
        QCOMPARE(form_->LblWorking->text(), QString("3"));
        QCOMPARE(form_->LblAvailable->text(), QString("2"));
        QCOMPARE(form_->LblMissing->text(), QString("1"));
        QCOMPARE(Panels(), (QStringList{"set : ", "clone : ", "crc : ", "size : ", ""}));
        QVERIFY(Action("FilterAll")->isChecked());
        QVERIFY(Action("SetLevel")->isChecked());
        QVERIFY(Action("SmartListNGDK")->isChecked());
        QVERIFY(Action("SmartListNeoGeo")->isVisible());
        QVERIFY(env_->Settings().find("Version=1.91") != std::string::npos);
        QVERIFY(env_->Settings().find("CurrentEmulator=test") != std::string::npos);
        QVERIFY(prompts_->shown.empty());
        QVERIFY(Action("Repair")->isEnabled());
        QVERIFY(form_->findChild<QWidget*>("RepairTool")->isEnabled());
        QVERIFY(Action("AuditTool")->isEnabled());
    }

    void statusBarFollowsTheSelection() {
        QVERIFY(Start());
        QTreeView* tree = form_->MergeTreeView;
        const QModelIndex alpha = Child({}, "Alpha Game");
        const QModelIndex merged = Child(Child(alpha, "Alpha Game (Japan)"), "a1.rom (merged)");
        QVERIFY(merged.isValid());
        tree->setCurrentIndex(merged);
        QCOMPARE(Panels(), (QStringList{"set : alpha", "clone : alphaj", "crc : 0aa10001", "size : 4", ""}));
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(tree, &out);
        QCOMPARE(Panels(), (QStringList{"set : ", "clone : ", "crc : ", "size : 4", ""}));
        QFocusEvent in(QEvent::FocusIn);
        QApplication::sendEvent(tree, &in);
        QCOMPARE(Panels()[1], QString("clone : alphaj"));
        tree->setCurrentIndex(alpha);
        QCOMPARE(Panels(), (QStringList{"set : alpha", "clone : ", "crc : ", "size : ", ""}));

        // A hint covers the panels; an empty one brings them back.
        QStatusTipEvent hint("Select which roms list to use");
        QApplication::sendEvent(form_->CBEmulator, &hint);
        QCOMPARE(form_->statusBar()->currentMessage(), QString("Select which roms list to use"));
        QVERIFY(!form_->StatusPanels[0]->isVisible());
        QStatusTipEvent none{QString()};
        QApplication::sendEvent(form_->CBEmulator, &none);
        QVERIFY(form_->StatusPanels[0]->isVisible());
    }

    void filterAndLevelAreStoredAndTwinsAgree() {
        QVERIFY(Start());
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        Action("FilterMissing")->trigger();
        // The window is disabled behind the wait window while the tree is rebuilt.
        QVERIFY(!form_->isEnabled());
        QVERIFY(form_->PleaseWaitFrm->isVisible());
        QVERIFY(finished.wait(20000));
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->PleaseWaitFrm->isVisible());
        QCOMPARE(TopRows(), (QStringList{"Alpha Game", "Beta Blaster", "Gamma Quest", "Omega Force"}));
        QVERIFY(env_->Settings().find("DisplayFilter=3") != std::string::npos);
        // One entry in both menus: the "&Filter" submenu and the tool button's FilterMenu.
        QMenu* submenu = Action("FFilter1")->menu();
        QVERIFY(submenu->actions().contains(Action("FilterMissing")));
        QVERIFY(form_->FilterMenu->actions().contains(Action("FilterMissing")));
        QVERIFY(Action("FilterMissing")->isChecked());
        QVERIFY(!Action("FilterAll")->isChecked());

        // The filter already chosen does nothing.
        Action("FilterMissing")->trigger();
        QVERIFY(!form_->Busy());
        QVERIFY(!finished.wait(200));

        QVERIFY(Run("CloneLevel"));
        QCOMPARE(TopRows(), (QStringList{"Alpha Game (Japan)", "Beta Blaster", "Gamma Quest", "Omega Force"}));
        QVERIFY(env_->Settings().find("DisplayLevel=1") != std::string::npos);

        // The next start shows the stored filter and level.
        form_.reset();
        QVERIFY(Start());
        QVERIFY(Action("FilterMissing")->isChecked());
        QVERIFY(Action("CloneLevel")->isChecked());
        QCOMPARE(TopRows().size(), 4);
        QVERIFY(Run("FilterPlayable"));
        QCOMPARE(TopRows(), (QStringList{"Alpha Game", "Neo Game", "Neo-Geo Bios", "Zeta Gamma"}));
    }

    void smartListCommands() {
        QVERIFY(Start());
        QVERIFY(Run("SmartListMainGames"));
        QVERIFY(Action("SmartListMainGames")->isChecked());
        QCOMPARE(form_->Clones->text(), QString("7"));
        // A second click unchecks it.
        QVERIFY(Run("SmartListMainGames"));
        QVERIFY(!Action("SmartListMainGames")->isChecked());
        QCOMPARE(form_->Clones->text(), QString("8"));

        QVERIFY(Run("SmartListNeoGeo"));
        QCOMPARE(TopRows(), (QStringList{"Neo Game", "Neo-Geo Bios"}));
        QVERIFY(Action("SmartListNeoGeo")->isChecked());
        QVERIFY(Run("SmartListWoNeogeo"));
        QCOMPARE(TopRows().size(), 4);
        QVERIFY(Run("SmartListAll"));
        QCOMPARE(TopRows().size(), 6);

        const auto japan = [this] { return Child(Child({}, "Alpha Game"), "Alpha Game (Japan)"); };
        QVERIFY(Child(japan(), "a1.rom (merged)").isValid());
        QVERIFY(Run("SmartListMerged"));
        QVERIFY(!Child(japan(), "a1.rom (merged)").isValid());
        QVERIFY(Run("SmartListMerged"));

        // Hidden, the 'no good dump known' ROM leaves the count and stops making its set partial.
        QVERIFY(Run("SmartListNGDK"));
        QVERIFY(!Action("SmartListNGDK")->isChecked());
        QCOMPARE(form_->Roms->text(), QString("9"));
        QCOMPARE(Child({}, "Beta Blaster").data(GameTreeModel::IconRole).toInt(), static_cast<int>(IconComplete));
        QCOMPARE(form_->LblWorking->text(), QString("4"));
    }

    void switchingProfiles() {
        QVERIFY(Start());
        QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
        form_->CBEmulator->setCurrentIndex(0);
        Q_EMIT form_->CBEmulator->activated(0);
        QVERIFY(form_->PleaseWaitFrm->isVisible());
        QVERIFY(finished.wait(20000));
        QCOMPARE(form_->Session().Config.CurrentEmulator, std::string("other"));
        QVERIFY(env_->Settings().find("CurrentEmulator=other") != std::string::npos);
        QCOMPARE(TopRows(), (QStringList{"Solo Run"}));
        QCOMPARE(form_->LblMissing->text(), QString("1"));
        QVERIFY(!form_->PleaseWaitFrm->isVisible());
        QVERIFY(form_->isEnabled());
        // Not a MAME datafile: no Neo-Geo selection, no 'no good dump known' report.
        QVERIFY(!Action("SmartListNeoGeo")->isVisible());
        QVERIFY(!Action("Nogooddumpknownroms1")->isEnabled());

        // Choosing the profile already loaded does nothing.
        Q_EMIT form_->CBEmulator->activated(0);
        QVERIFY(!form_->Busy());
        QVERIFY(!finished.wait(200));
    }

    void missingDatafileLeavesEverythingEmpty() {
        env_->SetCurrentProfile("nothere");
        QVERIFY(Start());
        QCOMPARE(prompts_->shown.size(), std::size_t{1});
        QCOMPARE(prompts_->shown[0].first, MessageKind::Error);
        QCOMPARE(prompts_->shown[0].second,
                 "Datafile nothere.dat does not exist in directory " + form_->Session().Config.DataDir + " !");
        QCOMPARE(form_->CBEmulator->count(), 2);
        QCOMPARE(form_->CBEmulator->currentIndex(), -1);
        QCOMPARE(TopRows(), QStringList{});
        QCOMPARE(form_->LblWorking->text(), QString("0"));
        QCOMPARE(form_->Sets->text(), QString("0"));
        QVERIFY(form_->isEnabled());
    }

    void firstRunStartsEmptyWithoutAMessage() {
        // No profile ever chosen: the default one has no datafile, which is no error. A datafile
        // lying in the data directory is offered, not loaded.
        form_.reset();
        env_.reset();  // it puts the environment back as it found it
        env_ = std::make_unique<GuiEnvironment>();
        WriteTestProfile(*env_);
        QVERIFY(Start());
        QCOMPARE(prompts_->shown.size(), std::size_t{0});
        QCOMPARE(TopRows(), QStringList{});
        QCOMPARE(form_->Sets->text(), QString("0"));
        QCOMPARE(form_->CBEmulator->count(), 1);
        QCOMPARE(form_->CBEmulator->currentIndex(), -1);
        QVERIFY(form_->isEnabled());
        QVERIFY(!form_->ProgressFrm->isVisible());
        // Once chosen, a profile whose datafile went is reported (missingDatafileLeavesEverythingEmpty).
        form_->CBEmulator->setCurrentIndex(0);
        Q_EMIT form_->CBEmulator->activated(0);
        QTRY_VERIFY_WITH_TIMEOUT(TopRows().size() == 6, 20000);
        QVERIFY(env_->Settings().find("CurrentEmulator=test") != std::string::npos);
    }

    void reloadReadsEveryArchiveAfterAsking() {
        QVERIFY(Start(false));
        Action("ReloadTool")->trigger();
        QCOMPARE(prompts_->asked.size(), std::size_t{1});
        QCOMPARE(prompts_->asked[0].second, std::string("Your mame roms directories will be fully scanned !\n"
                                                        "Do you want to continue ?"));
        QVERIFY(!form_->Busy());
        form_.reset();

        std::filesystem::remove(env_->RomDir() / "quillmark.dat");
        QVERIFY(Start(true));
        QVERIFY(Run("ReloadTool"));
        QVERIFY(std::filesystem::exists(env_->RomDir() / "quillmark.dat"));
        QCOMPARE(TopRows().size(), 6);
        QCOMPARE(form_->CBEmulator->currentText(), QString("test"));
    }

    void htmlReportsOpenTheirFile() {
        QVERIFY(Start());
        QVERIFY(Run("Statistics1"));
        QCOMPARE(opened_.size(), std::size_t{1});
        QCOMPARE(opened_[0].filename().string(), std::string("QuillmarkReport.htm"));
        QVERIFY(std::filesystem::exists(opened_[0]));
        QVERIFY(form_->isEnabled());
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::MainWindowTest)
#include "tst_main_window.moc"
