#include "ui/CdUpdateDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "commands/Exports.h"
#include "platform/Platform.h"
#include "ui/FileChoosers.h"
#include "ui/ProgressWindow.h"

namespace qm {

namespace {

// A folder field whose text, once the user leaves it, ends with '/' (the choosers give it so).
TPathEdit* NewFolderField(QWidget* parent, const char* name, const QString& title, bool mayCreate) {
    auto* field = new TPathEdit(TPathEdit::Kind::Directory, title, parent);
    field->setObjectName(name);
    field->MayCreate = mayCreate;
    QObject::connect(field->Edit, &QLineEdit::editingFinished, field, [field] {
        if (const std::string path = field->Path(); !path.empty() && !path.ends_with('/')) {
            field->SetPath(path + '/');
        }
    });
    return field;
}

}  // namespace

TCDUpdate::TCDUpdate(std::string baseDir, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), baseDir_(std::move(baseDir)), prompts_(prompts) {
    setObjectName("CDUpdate");
    setWindowTitle("CD update options");

    auto* paths = new QGroupBox("Paths", this);
    SrcLabel = new QLabel("Select directoy to update", paths);
    SrcDirEdt = NewFolderField(paths, "SrcDirEdt", "Select directoy to update", false);
    SrcLabel->setBuddy(SrcDirEdt);
    DestLabel = new QLabel("Select directoy to save updated files", paths);
    DestDirEdt = NewFolderField(paths, "DestDirEdt", "Select directoy to save updated files", true);
    DestLabel->setBuddy(DestDirEdt);
    for (TPathEdit* field : {SrcDirEdt, DestDirEdt}) {
        field->StartDir = [this, field] { return field->Path().empty() ? baseDir_ : field->Path(); };
        connect(field->Edit, &QLineEdit::textChanged, this, &TCDUpdate::EnableOk);
    }
    auto* pathsLayout = new QVBoxLayout(paths);
    pathsLayout->addWidget(SrcLabel);
    pathsLayout->addWidget(SrcDirEdt);
    pathsLayout->addWidget(DestLabel);
    pathsLayout->addWidget(DestDirEdt);

    auto* options = new QGroupBox("Options", this);
    UpdateFiles = new QRadioButton("Update only existing files", options);
    UpdateFiles->setObjectName("UpdateFiles");
    UpdateFiles->setChecked(true);
    CreateFiles = new QRadioButton("Create new files if necessary", options);
    CreateFiles->setObjectName("CreateFiles");
    ShowDelete = new QCheckBox("Show files to delete", options);
    ShowDelete->setObjectName("ShowDelete");
    auto* optionsLayout = new QGridLayout(options);
    optionsLayout->addWidget(UpdateFiles, 0, 0);
    optionsLayout->addWidget(CreateFiles, 1, 0);
    optionsLayout->addWidget(ShowDelete, 0, 1);
    optionsLayout->setColumnStretch(1, 1);

    Ok = new QPushButton("&OK", this);
    Ok->setObjectName("Ok");
    Ok->setDefault(true);
    Button4 = new QPushButton("&Cancel", this);
    Button4->setObjectName("Button4");
    Button4->setAutoDefault(false);
    Button5 = new QPushButton("&Help", this);
    Button5->setObjectName("Button5");
    Button5->setAutoDefault(false);
    Button5->hide();
    connect(Ok, &QPushButton::clicked, this, &TCDUpdate::accept);
    connect(Button4, &QPushButton::clicked, this, &TCDUpdate::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Ok);
    buttons->addWidget(Button4);
    buttons->addWidget(Button5);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(paths);
    layout->addWidget(options);
    layout->addLayout(buttons);
    setMinimumWidth(440);

    ProgressFrm = new TProgressFrm(this);
    ProgressFrm->SetTitle("Please wait...");
    ProgressFrm->SetWaitString("Processing...");
    ProgressFrm->SetShowCancelButton(true);
    ProgressFrm->SetMin(0);
    ProgressFrm->SetMax(100);
    EnableOk();
}

void TCDUpdate::EnableOk() {
    Ok->setEnabled(!SrcDirEdt->Path().empty() && !DestDirEdt->Path().empty());
}

void TCDUpdate::accept() {
    CdUpdateOptions options;
    options.SourceDir = AbsoluteFrom(baseDir_, SrcDirEdt->Path());
    options.DestinationDir = AbsoluteFrom(baseDir_, DestDirEdt->Path());
    options.CreateFiles = CreateFiles->isChecked();
    options.ShowDelete = ShowDelete->isChecked();
    if (!PrepareCdUpdateFolders(options, prompts_)) {
        return;
    }
    SrcDirEdt->SetPath(options.SourceDir);
    DestDirEdt->SetPath(options.DestinationDir);
    options_ = std::move(options);
    QDialog::accept();
}

}  // namespace qm
