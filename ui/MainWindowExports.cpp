// The main window's two commands that write outside the collection's own picture: the Neo-Geo
// export (behind the wait window, without Cancel) and the CD update (behind its own progress
// window, with Cancel). Each shows its dialog, runs on the worker, and refreshes the trees when
// the collection changed.
#include <QAction>

#include "commands/Exports.h"
#include "platform/UserPrompts.h"
#include "ui/CdUpdateDialog.h"
#include "ui/MainWindow.h"
#include "ui/NeoGeoExportDialog.h"
#include "ui/ProgressWindow.h"
#include "ui/ReportWindow.h"
#include "ui/WaitWindow.h"

namespace qm {

void TForm1::ExportNeogeoSetsto1Click() {
    if (Busy() || NeogeoCopyOpt->exec() != QDialog::Accepted) {
        return;
    }
    const NeoGeoExportOptions options = NeogeoCopyOpt->Options();
    // Archives moved out of the collection, or copied into one of its directories, change what
    // the trees show; a copy elsewhere changes nothing here.
    const bool changes = options.Move || session_.Paths.PathOf(options.Destination) != nullptr;
    PleaseWaitFrm->ShowWait(this, false);
    auto plan = std::make_shared<NeoGeoExportPlan>();
    auto result = std::make_shared<NeoGeoExportResult>();
    auto steps = [this, options, plan, result](GuiJob& job) {
        *plan = PlanNeoGeoExport(session_.Paths, options);
        if (!plan->Items.empty()) {
            *result = RunNeoGeoExport(session_, *plan, options, job);
        }
    };
    auto after = [this, changes, plan, result](const std::exception_ptr& error) {
        if (changes) {
            RefreshZipTree(false);
        }
        if (!error && plan->Items.empty()) {
            prompts_.Show(MessageKind::Information, std::string(kNothingToCopy));
        }
        PleaseWaitFrm->HideWait(this);
        ReportError(error);
        // The archive it stopped at, named; those exported before it stay where they are.
        if (!result->Failure.empty()) {
            prompts_.Show(MessageKind::Error, result->Failure);
        }
        Q_EMIT CommandFinished();
    };
    if (changes) {
        RunThenShowTree(steps, after);
    } else {
        RunInBackground(steps, after);
    }
}

void TForm1::UpdateCD1Click() {
    if (Busy() || CDUpdate->exec() != QDialog::Accepted) {
        return;
    }
    const CdUpdateOptions options = CDUpdate->Options();
    // The update rescans the collection when it wrote into one of its directories.
    const bool changes = session_.Paths.PathOf(options.DestinationDir) != nullptr;
    TProgressFrm* progress = CDUpdate->ProgressFrm;
    progress->SetShowCancelButton(true);
    // The dialog has closed: the window that must not take input meanwhile is this one.
    progress->OpenProgress(this);
    progress->SetWaitString({});
    progress->OnCancel = [this] { runner_.RequestCancel(); };
    auto result = std::make_shared<CdUpdateResult>();
    auto steps = [this, options, result](GuiJob& job) { *result = RunCdUpdate(session_, options, job); };
    auto after = [this, options, changes, progress, result](const std::exception_ptr& error) {
        if (changes) {
            RefreshZipTree(false);
        }
        if (!error) {
            if (result->Cancelled) {
                prompts_.Show(MessageKind::Information, std::string(kCdUpdateCancelled));
            }
            std::string summary = FilesUpdatedMessage(result->Updated.size());
            if (options.CreateFiles) {
                summary += "\n" + std::to_string(result->Created.size()) + " files created.";
            }
            if (options.ShowDelete) {
                summary += "\n" + std::to_string(result->ToDelete.size()) + " files to delete.";
            }
            prompts_.Show(MessageKind::Information, summary);
        }
        ReportError(error);
        progress->OnCancel = nullptr;
        progress->CloseProgress();
        if (!result->ToDelete.empty()) {
            // Archives of the CD whose set is unknown: an updated collection has no use for them.
            ReportForm->ShowLines("Quillmark CD update", "Files to delete", result->ToDelete);
        }
        Q_EMIT CommandFinished();
    };
    // The progress window keeps its own cursors: the hourglass, but the arrow over Cancel.
    if (changes) {
        RunThenShowTree(steps, after, /*hourglass=*/false);
    } else {
        RunInBackground(steps, after, /*hourglass=*/false);
    }
}

}  // namespace qm
