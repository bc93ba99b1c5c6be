// Pieces the option dialogs share: named check boxes and radio buttons, the group that says what
// becomes of some files (moved to a folder, deleted or ignored) with its folder field, and the
// OK / Cancel row.
#pragma once

#include <QRadioButton>
#include <QString>
#include <string>

class QBoxLayout;
class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QPushButton;
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

// What the user chose in a move / delete / ignore group, as the engine's action of that kind.
template <class Action>
Action ChosenAction(const QRadioButton* move, const QRadioButton* remove) {
    return move->isChecked() ? Action::Move : remove->isChecked() ? Action::Delete : Action::Ignore;
}

// "OK" (the default button, accepting) and "Cancel" (rejecting) at the right of a new row.
QBoxLayout* NewOkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

}  // namespace qm
