// The drop zone and the "Zip content" pane: zip files dropped from a file manager are examined
// against the database on the worker, their ROMs shown by the All / New filter, their source
// report opened in the user's editor, and the ROMs the collection lacks merged into it behind the
// wait window, with Cancel between archives.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QListWidget>

#include "commands/NewRoms.h"
#include "engine/ContentTree.h"
#include "platform/UserPrompts.h"
#include "ui/ContentTreeModel.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxPrompts.h"
#include "ui/ReportWindow.h"
#include "ui/WaitWindow.h"

namespace qm {

namespace {

constexpr int kFilterNew = 1;

// The merge's reports and its Cancel, but its problem lines kept for the merge error viewer
// rather than told one by one.
class MergeJob : public UncancellableJob {
public:
    explicit MergeJob(Job& job) : UncancellableJob(job), job_(job) {}
    void Problem(std::string_view line) override { lines.emplace_back(line); }
    bool CancelRequested() const override { return job_.CancelRequested(); }

    std::vector<std::string> lines;

private:
    Job& job_;
};

ContentTree ZipTree(bool onlyNew, const TGamesList& games, const TSrcRomList& sources, Job& job) {
    return onlyNew ? FillNewContentTree(games, sources, job) : FillContentTree(games, sources, job);
}

}  // namespace

void TForm1::OnDropFiles(const std::vector<std::string>& paths) {
    if (Busy()) {
        return;
    }
    if (droppedFiles_.empty()) {
        // The hint line of a window that no profile load has cleared yet.
        DropZoneList->clear();
    }
    for (const std::string& zip : DroppedZipFiles(paths)) {
        DropZoneList->addItem(QFile::decodeName(zip.c_str()));
        droppedFiles_.push_back(zip);
    }
    // Every file dropped so far, examined again: the report covers them all.
    FillZipTree([this, files = droppedFiles_](GuiJob& job) { ExamineDroppedFiles(session_, sources_, files, job); });
}

void TForm1::CbFilterSrcChange() {
    RefreshZipTree(true);
}

void TForm1::RefreshZipTree(bool showWait) {
    const bool onlyNew = CbFilterSrc->currentIndex() == kFilterNew;
    if (!showWait) {
        // After a command that changed the collection: what is new may have changed too. The
        // tree holds only the dropped files' ROMs, small enough to build at once.
        sources_.KeepNewRoms(session_.Games);
        zipModel_->SetTree(ZipTree(onlyNew, session_.Games, sources_, SilentJob()));
        return;
    }
    if (!Busy()) {
        FillZipTree(nullptr);
    }
}

void TForm1::FillZipTree(std::function<void(GuiJob&)> before) {
    PleaseWaitFrm->ShowWait(this, false);
    const bool onlyNew = CbFilterSrc->currentIndex() == kFilterNew;
    auto tree = std::make_shared<ContentTree>();
    RunInBackground(
        [this, before = std::move(before), onlyNew, tree](GuiJob& job) {
            if (before) {
                before(job);
            }
            *tree = ZipTree(onlyNew, session_.Games, sources_, job);
        },
        [this, tree](const std::exception_ptr& error) {
            zipModel_->SetTree(std::move(*tree));
            PleaseWaitFrm->HideWait(this);
            ReportError(error);
            Q_EMIT CommandFinished();
        });
}

void TForm1::Clearwindows2Click() {
    sources_.Clear();
    sources_.Report.clear();
    zipModel_->Clear();
    DropZoneList->clear();
    droppedFiles_.clear();
}

void TForm1::Report3Click() {
    if (Busy()) {
        return;
    }
    std::filesystem::path file;
    try {
        file = SaveSourceReport(session_, sources_);
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, e.what());
        return;
    }
    if (!file.empty()) {
        OpenSavedReport(file);
    }
}

void TForm1::Merge2Click() {
    if (Busy()) {
        return;
    }
    if (sources_.NewRoms().empty()) {
        prompts_.Show(MessageKind::Information, std::string(kNothingToMerge));
        return;
    }
    if (!OkCancelPrompts(prompts_).Ask(MessageKind::Confirmation, MergeQuestion(session_))) {
        return;
    }
    PleaseWaitFrm->ShowWait(this, true);
    PleaseWaitFrm->OnCancel = [this] { runner_.RequestCancel(); };
    auto report = std::make_shared<std::vector<std::string>>();
    RunThenShowTree(
        [this, report](GuiJob& job) {
            MergeJob merging(job);
            try {
                const MergeOutcome outcome = MergeConfirmedRoms(session_, sources_, merging);
                // Entries of the user's own moved aside to make room are told with the problems.
                for (const MergeDisplaced& displaced : outcome.Displaced) {
                    merging.lines.push_back(DisplacedLine(displaced));
                }
            } catch (...) {
                job.CloseCancel();
                *report = std::move(merging.lines);
                throw;
            }
            // The trees are built again after it to their end, also after a Cancel.
            job.CloseCancel();
            *report = std::move(merging.lines);
        },
        [this, report](const std::exception_ptr& error) {
            RefreshZipTree(false);
            PleaseWaitFrm->OnCancel = nullptr;
            PleaseWaitFrm->HideWait(this);
            if (!report->empty()) {
                ReportForm->ShowLinesModal("Merging errors", "Merging errors report", std::move(*report));
            }
            ReportError(error);
            Q_EMIT CommandFinished();
        });
}

}  // namespace qm
