// Pieces the option dialogs share: named check boxes and radio buttons, the group that says what
// becomes of some files (moved to a folder, deleted or ignored) with its folder field, and the
// OK / Cancel row.
#pragma once

#include <QString>
#include <string>

class QBoxLayout;
class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;

namespace qm {

class TPathEdit;

QCheckBox* NewCheck(QWidget* parent, const char* name, const char* caption, bool checked);
QRadioButton* NewRadio(QWidget* parent, const char* name, const char* caption);

// "Move", "Delete", "Ignore" (Ignore chosen) named Move<what>, Delete<what>, Ignore<what>, the
// label <what>Label and the folder field <what>Path, whose chooser starts in the folder typed or
// in `baseDir`. `deleteFirst` puts "Delete" before "Move".
struct MoveChoice {
    QGroupBox* Box = nullptr;
    QRadioButton* Move = nullptr;
    QRadioButton* Delete = nullptr;
    QRadioButton* Ignore = nullptr;
    QLabel* Label = nullptr;
    TPathEdit* Path = nullptr;
};
MoveChoice NewMoveChoice(QWidget* parent, const QString& title, const std::string& what, const QString& label,
                         const QString& chooserTitle, const std::string& baseDir, bool deleteFirst);

// "OK" (the default button, accepting) and "Cancel" (rejecting) at the right of a new row.
QBoxLayout* NewOkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

}  // namespace qm
