// The options dialog: the current profile's ROM directories and emulator executable. Confirmed,
// it writes both into the profile's datafile header and, when the directories changed, puts
// them into the ROM directory list (the options command then scans them).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;
class QTabWidget;

namespace qm {

class TPathEdit;
class TSession;
class UserPrompts;

class TformOptions : public QDialog {
    Q_OBJECT

public:
    TformOptions(TSession& session, UserPrompts& prompts, QWidget* parent = nullptr);

    // Directories were added, removed or taken from the emulator's configuration since the
    // dialog was shown.
    bool Changed() const { return changed_; }
    // The directories listed, as bytes.
    std::vector<std::string> Directories() const;

    void AddClick();
    void RemoveClick();
    void ClearClick();
    void GetFromCfgClick();

    QTabWidget* PageControl1 = nullptr;
    QListWidget* RomsPaths = nullptr;
    QPushButton* Add = nullptr;
    QPushButton* Remove = nullptr;
    QPushButton* Clear = nullptr;
    QPushButton* GetFromCfg = nullptr;
    TPathEdit* EmuExe = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

protected:
    // Fills the fields from the profile.
    void showEvent(QShowEvent* event) override;
    // OK: writes the directories and the executable, unless a check fails.
    void accept() override;

private:
    void AddDirectory(const std::string& dir);
    void SelectFirst();

    TSession& session_;
    UserPrompts& prompts_;
    bool changed_ = false;
};

}  // namespace qm
