#include "ui/ReportWindow.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "ui/DisplayText.h"
#include "ui/WaitWindow.h"

namespace qm {

TReportForm::TReportForm(std::filesystem::path tempDir, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Window), tempDir_(std::move(tempDir)), prompts_(prompts) {
    setObjectName("ReportForm");
    setWindowTitle("Quillmark Audit Report");
    setModal(false);

    GroupBox = new QGroupBox("Audit report", this);
    GroupBox->setObjectName("GroupBox");
    Memo1 = new QPlainTextEdit(GroupBox);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Report lines line up names in columns.
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* groupLayout = new QVBoxLayout(GroupBox);
    groupLayout->addWidget(Memo1);

    Edit = new QPushButton("&Edit", this);
    Edit->setObjectName("Edit");
    Edit->setAutoDefault(false);
    Button2 = new QPushButton("&Close", this);
    Button2->setObjectName("Button2");
    Button2->setDefault(true);
    connect(Edit, &QPushButton::clicked, this, &TReportForm::EditClick);
    connect(Button2, &QPushButton::clicked, this, &QDialog::accept);
    auto* panel = new QHBoxLayout;
    panel->setObjectName("Panel1");
    panel->addStretch();
    panel->addWidget(Edit);
    panel->addWidget(Button2);

    FriendlyStatusBar1 = new QStatusBar(this);
    FriendlyStatusBar1->setObjectName("FriendlyStatusBar1");
    FriendlyStatusBar1->setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(GroupBox, 1);
    layout->addLayout(panel);
    layout->addWidget(FriendlyStatusBar1);
    resize(640, 440);
}

void TReportForm::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    QString text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += ToDisplay(lines_[i]);
    }
    Memo1->setPlainText(text);
}

void TReportForm::ShowAuditReport(const std::filesystem::path& reportFile) {
    ShowLines("Quillmark Audit Report", "Audit report", ReadLines(reportFile));
}

void TReportForm::ShowLines(const QString& caption, const QString& title, std::vector<std::string> lines) {
    SetLines(std::move(lines));
    setWindowTitle(caption);
    GroupBox->setTitle(title);
    if (isVisible()) {
        CaretToStart();
    } else {
        show();
        CentreOnScreen(this, parentWidget());
    }
    raise();
    activateWindow();
}

void TReportForm::ShowLinesModal(const QString& caption, const QString& title, std::vector<std::string> lines) {
    // A report still shown without blocking (the last audit's) makes way: the viewer comes back
    // modal.
    hide();
    SetLines(std::move(lines));
    setWindowTitle(caption);
    GroupBox->setTitle(title);
    CentreOnScreen(this, parentWidget());
    exec();
}

void TReportForm::EditClick() {
    const std::filesystem::path file = tempDir_ / "qmreport.txt";
    try {
        // The text is read-only: what is shown is what was loaded, byte for byte.
        WriteLinesAtomic(file, lines_);
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, e.what());
        return;
    }
    if (OpenFile) {
        OpenFile(file);
    }
}

void TReportForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CaretToStart();
}

void TReportForm::CaretToStart() {
    Memo1->moveCursor(QTextCursor::Start);
    Memo1->ensureCursorVisible();
}

}  // namespace qm
