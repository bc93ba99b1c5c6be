// The report viewer: the lines of a text report, read-only and unwrapped, with "&Edit" (a copy
// for the user's editor, "qmreport.txt" in the scratch folder) and "&Close". It shows the audit
// report without blocking the main window.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace qm {

class UserPrompts;

class TReportForm : public QDialog {
    Q_OBJECT

public:
    TReportForm(std::filesystem::path tempDir, UserPrompts& prompts, QWidget* parent = nullptr);

    // Loads a saved audit report and shows it, not modally, under the audit captions (the
    // window may last have shown other lines under other captions). Throws EFileError.
    void ShowAuditReport(const std::filesystem::path& reportFile);
    // Shows `lines` the same way, under the captions given.
    void ShowLines(const QString& caption, const QString& title, std::vector<std::string> lines);
    // The same, modally: the call returns once the viewer is closed.
    void ShowLinesModal(const QString& caption, const QString& title, std::vector<std::string> lines);
    // Saves the lines shown to "qmreport.txt" and hands that file to OpenFile.
    void EditClick();

    // Opens a saved file in the user's editor; set by the main window.
    std::function<void(const std::filesystem::path&)> OpenFile;
    // The lines shown, as bytes.
    const std::vector<std::string>& Lines() const { return lines_; }

    QGroupBox* GroupBox = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QStatusBar* FriendlyStatusBar1 = nullptr;
    QPushButton* Edit = nullptr;
    QPushButton* Button2 = nullptr;

protected:
    // The caret goes to the start of the text, nothing selected.
    void showEvent(QShowEvent* event) override;

private:
    void SetLines(std::vector<std::string> lines);
    void CaretToStart();

    std::filesystem::path tempDir_;
    UserPrompts& prompts_;
    std::vector<std::string> lines_;
};

}  // namespace qm
