#include "ui/DialogParts.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "ui/FileChoosers.h"

namespace qm {

QCheckBox* NewCheck(QWidget* parent, const char* name, const char* caption, bool checked) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

QRadioButton* NewRadio(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

MoveChoice NewMoveChoice(QWidget* parent, const QString& title, const std::string& what, const QString& label,
                         const QString& chooserTitle, const std::string& baseDir, bool deleteFirst) {
    MoveChoice choice;
    choice.Box = new QGroupBox(title, parent);
    choice.Move = NewRadio(choice.Box, ("Move" + what).c_str(), "Move");
    choice.Delete = NewRadio(choice.Box, ("Delete" + what).c_str(), "Delete");
    choice.Ignore = NewRadio(choice.Box, ("Ignore" + what).c_str(), "Ignore");
    choice.Ignore->setChecked(true);
    choice.Label = new QLabel(label, choice.Box);
    choice.Label->setObjectName(QString::fromStdString(what + "Label"));
    TPathEdit* path = new TPathEdit(TPathEdit::Kind::Directory, chooserTitle, choice.Box);
    path->setObjectName(QString::fromStdString(what + "Path"));
    path->StartDir = [path, baseDir] { return path->Path().empty() ? baseDir : path->Path(); };
    choice.Path = path;
    choice.Label->setBuddy(path);
    auto* layout = new QGridLayout(choice.Box);
    layout->addWidget(deleteFirst ? choice.Delete : choice.Move, 0, 0);
    layout->addWidget(deleteFirst ? choice.Move : choice.Delete, 0, 1);
    layout->addWidget(choice.Ignore, 0, 2);
    layout->addWidget(choice.Label, 1, 0, 1, 3);
    layout->addWidget(path, 2, 0, 1, 3);
    return choice;
}

QBoxLayout* NewOkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton("OK", dialog);
    ok->setObjectName("OK");
    ok->setDefault(true);
    cancel = new QPushButton("Cancel", dialog);
    cancel->setObjectName("Cancel");
    cancel->setAutoDefault(false);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace qm
