// The wait window, the progress window component, and operations on the worker thread: their
// reports reaching the GUI thread and the wait window's Cancel reaching a running scan.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <atomic>

#include "UiTestSupport.h"
#include "commands/Session.h"
#include "platform/UserPrompts.h"
#include "support/TestSupport.h"
#include "ui/GuiJob.h"
#include "ui/ProgressWindow.h"
#include "ui/WaitWindow.h"

namespace qm::test {

class WaitWindowsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void waitWindowCancelsOncePerShowing() {
        QWidget owner;
        owner.show();
        TPleaseWaitFrm wait(&owner);
        int cancels = 0;
        wait.OnCancel = [&] { ++cancels; };

        wait.ShowWait(&owner, true);
        QVERIFY(!owner.isEnabled());
        QVERIFY(wait.isEnabled());
        QVERIFY(wait.Cancel->isVisible());
        QVERIFY(wait.WaitInfo->text().isEmpty());
        QTest::mouseClick(wait.Cancel, Qt::LeftButton);
        QTest::mouseClick(wait.Cancel, Qt::LeftButton);
        QCOMPARE(cancels, 1);
        QVERIFY(!wait.Cancel->isEnabled());

        // Showing again gives a new Cancel; without Cancel the button is gone.
        wait.ShowWait(&owner, true);
        QVERIFY(wait.Cancel->isEnabled());
        wait.ShowWait(&owner, false);
        QVERIFY(!wait.Cancel->isVisible());
        QTest::keyClick(&wait, Qt::Key_Escape);
        QCOMPARE(cancels, 1);
        QVERIFY(wait.isVisible());
    }

    void hidingAlwaysEnablesTheOwner() {
        QWidget owner;
        owner.show();
        TPleaseWaitFrm wait(&owner);
        wait.ShowWait(&owner, false);
        wait.WaitProgressBar->setValue(40);
        wait.WaitInfo->setText("Reading");
        wait.HideWait(&owner);
        QVERIFY(owner.isEnabled());
        QVERIFY(!wait.isVisible());
        QCOMPARE(wait.WaitProgressBar->value(), 0);
        // An inner step hid it already; the outer hide still enables the owner.
        owner.setEnabled(false);
        wait.HideWait(&owner);
        QVERIFY(owner.isEnabled());
    }

    void cancelWithoutHandlerOnlyDisablesTheButton() {
        TPleaseWaitFrm wait;
        wait.ShowWait(nullptr, true);
        QTest::mouseClick(wait.Cancel, Qt::LeftButton);
        QVERIFY(!wait.Cancel->isEnabled());
        QVERIFY(wait.isVisible());
        wait.HideWait(nullptr);
    }

    void progressComponentScalesPositions() {
        TProgressFrm progress;
        TPercentBar* bar = progress.Form()->WaitProgressBar;
        progress.SetMax(4);
        std::vector<int> seen;
        for (int i = 0; i < 4; ++i) {
            progress.StepIt();
            seen.push_back(bar->Value());
        }
        QCOMPARE(seen, (std::vector<int>{25, 50, 75, 100}));
        // No range: the bar stays at 0.
        progress.SetMin(10);
        progress.SetMax(10);
        progress.SetPosition(7);
        QCOMPARE(bar->Value(), 0);
        // The second of two phases covers the upper half.
        progress.SetMin(0);
        progress.SetMax(100);
        progress.SetNbPhase(2);
        progress.SetCurrentPhase(2);
        progress.SetPosition(50);
        QCOMPARE(progress.Position(), 75);
        QCOMPARE(bar->Value(), 75);
    }

    void progressComponentCancelAndClose() {
        QWidget owner;
        owner.show();
        TProgressFrm progress;
        int cancels = 0;
        progress.OnCancel = [&] { ++cancels; };
        progress.OpenProgress(&owner);
        QVERIFY(!owner.isEnabled());
        QVERIFY(progress.Form()->isVisible());
        QCOMPARE(progress.Form()->windowTitle(), QString("Please wait..."));
        QCOMPARE(progress.WaitString(), QString("Processing..."));
        QTest::mouseClick(progress.Form()->Cancel, Qt::LeftButton);
        QTest::mouseClick(progress.Form()->Cancel, Qt::LeftButton);
        QVERIFY(progress.Cancelled());
        QCOMPARE(cancels, 1);
        progress.SetMax(4);
        progress.SetPosition(2);
        progress.CloseProgress();
        QVERIFY(owner.isEnabled());
        QVERIFY(!progress.Form()->isVisible());
        QCOMPARE(progress.Max(), 100);
        QCOMPARE(progress.Position(), 0);
        // The flag lasts until the window is opened again.
        QVERIFY(progress.Cancelled());
        progress.OpenProgress(&owner);
        QVERIFY(!progress.Cancelled());
        QVERIFY(progress.Form()->Cancel->isEnabled());
        progress.CloseProgress();
    }

    void reportsArriveOnTheGuiThreadInOrder() {
        TJobRunner runner;
        std::vector<int> percents;
        QStringList texts;
        QStringList problems;
        connect(&runner, &TJobRunner::ProgressChanged, this, [&](int p) {
            QCOMPARE(QThread::currentThread(), qApp->thread());
            percents.push_back(p);
        });
        connect(&runner, &TJobRunner::StatusChanged, this, [&](const QString& t) { texts << t; });
        connect(&runner, &TJobRunner::ProblemReported, this, [&](const QString& t) { problems << t; });
        bool done = false;
        std::exception_ptr error;
        QVERIFY(runner.Start(
            [](GuiJob& job) {
                for (int i = 0; i <= 1000; ++i) {
                    job.Progress(i, 1000);
                }
                job.Status("Caf\xE9");
                job.Problem("first");
                job.Problem("second");
                throw std::runtime_error("stopped");
            },
            [&](std::exception_ptr e) {
                done = true;
                error = e;
            }));
        QVERIFY(runner.Busy());
        QVERIFY(!runner.Start([](GuiJob&) {}, nullptr));
        QTRY_VERIFY(done);
        QVERIFY(!runner.Busy());
        // Folded, but every delivered position is in order and the last one arrives.
        QVERIFY(!percents.empty());
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QCOMPARE(percents.back(), 100);
        QCOMPARE(texts.last(), QString::fromUtf8("Caf\u00e9"));
        QCOMPARE(problems, (QStringList{"first", "second"}));
        QVERIFY(error != nullptr);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, std::rethrow_exception(error));
    }

    void waitWindowCancelReachesARunningScan() {
        GuiEnvironment env;
        WriteTestProfile(env, "test", false);
        for (int i = 0; i < 40; ++i) {
            MakeZip(env.RomDir() / ("z" + std::to_string(i) + ".zip"), {{"x.rom", std::to_string(i)}});
        }
        RecordingPrompts prompts;
        TSession session(ConfigPaths::FromEnvironment(), prompts);
        QVERIFY(session.UseEmulator("test", {.RememberAsCurrent = true, .Scan = false}, SilentJob()));

        QWidget owner;
        owner.show();
        TPleaseWaitFrm wait(&owner);
        TJobRunner runner;
        wait.OnCancel = [&] { runner.RequestCancel(); };
        wait.ShowWait(&owner, true);

        // The scan stops halfway until the test has pressed Cancel, so that Cancel certainly
        // arrives while it runs.
        std::atomic<bool> halfway{false};
        std::atomic<int> lastPercent{0};
        bool done = false;
        std::exception_ptr error;
        runner.Start(
            [&](GuiJob& job) {
                // The window's job, held up half-way through the reading of the archives.
                struct HaltingJob : UncancellableJob {
                    HaltingJob(GuiJob& job, std::atomic<bool>& halfway, std::atomic<int>& lastPercent)
                        : UncancellableJob(job), job_(job), halfway_(halfway), lastPercent_(lastPercent) {}
                    void Progress(std::uint64_t done, std::uint64_t total) override {
                        const int percent = total == 0 ? 0 : static_cast<int>(done * 100 / total);
                        lastPercent_ = percent;
                        if (total > 1 && percent >= 50 && !halfway_.exchange(true)) {
                            while (!job_.CancelRequested()) {
                                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            }
                        }
                        UncancellableJob::Progress(done, total);
                    }
                    bool CancelRequested() const override { return job_.CancelRequested(); }
                    GuiJob& job_;
                    std::atomic<bool>& halfway_;
                    std::atomic<int>& lastPercent_;
                } halting(job, halfway, lastPercent);
                session.Paths.Scan(true, halting);
            },
            [&](std::exception_ptr e) {
                done = true;
                error = e;
            });
        QTRY_VERIFY(halfway.load());
        QTest::mouseClick(wait.Cancel, Qt::LeftButton);
        QTRY_VERIFY(done);
        wait.HideWait(&owner);

        QVERIFY(error != nullptr);
        try {
            std::rethrow_exception(error);
        } catch (const ECancelClick& e) {
            QCOMPARE(std::string(e.what()), std::string("Process cancelled by user !"));
        } catch (...) {
            QFAIL("the scan ended otherwise than by the cancel");
        }
        QVERIFY(lastPercent.load() < 100);
        // The half-read directory leaves no cache behind to be trusted next time.
        QVERIFY(!std::filesystem::exists(env.RomDir() / "quillmark.dat"));
        QVERIFY(owner.isEnabled());
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::WaitWindowsTest)
#include "tst_wait_windows.moc"
