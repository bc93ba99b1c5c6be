// The datafile builder dialog: shows the emulator executable (or the downloaded datafile) and
// its version, and asks for the name of the profile to make. "&Build" closes it only with a
// name that can name a profile.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class UserPrompts;

enum class BuilderSource { Mame, Raine, Datafile };

class TDataFileBuilder : public QDialog {
    Q_OBJECT

public:
    explicit TDataFileBuilder(UserPrompts& prompts, QWidget* parent = nullptr);

    // Sets the dialog up for one source before it is shown: the caption, the picture, the file
    // and version lines, and the proposed name.
    void Prepare(BuilderSource source, const std::string& file, const std::string& version,
                 const std::string& proposedName);
    // The profile name typed, as bytes.
    std::string DatafileNameText() const;

    QLabel* FileLabel = nullptr;
    QLabel* ExeFile = nullptr;
    QLabel* VersionLabel = nullptr;
    QLabel* Version = nullptr;
    QLineEdit* DatafileName = nullptr;
    QLabel* MameImage = nullptr;
    QLabel* RaineImage = nullptr;
    QPushButton* Build = nullptr;
    QPushButton* Cancel = nullptr;

protected:
    void accept() override;

private:
    UserPrompts& prompts_;
};

}  // namespace qm
