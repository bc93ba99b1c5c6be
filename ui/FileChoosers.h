// File and directory choosers, and the text field with a browse button that the option dialogs
// use. Paths travel as bytes (QFile::encodeName) and keep their spelling: never lower-cased.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class QLineEdit;
class QToolButton;

namespace qm {

class UserPrompts;

// An existing file chosen by the user, or nullopt after Cancel. `filter` is in Qt's form
// ("All files (*)").
std::optional<std::string> ChooseExistingFile(QWidget* parent, const QString& title, const std::string& startDir,
                                              const QString& filter);
// A directory chosen by the user, ending with '/'; nullopt after Cancel. With `mayCreate` the
// chooser offers to create a folder.
std::optional<std::string> ChooseDirectory(QWidget* parent, const QString& title, const std::string& startDir,
                                           bool mayCreate = true);

// A regular file this process may run.
bool IsExecutableFile(const std::string& path);
// The folder holding `path`, ending with '/'.
std::string DirectoryOf(const std::string& path);
// `path` as given when absolute, else taken relative to `baseDir`: the program never changes its
// current directory, so a relative path means the start directory.
std::string AbsoluteFrom(const std::string& baseDir, const std::string& path);

// A text field with a browse button at its right; the button opens a file or directory chooser
// and puts what was chosen into the field.
class TPathEdit : public QWidget {
    Q_OBJECT

public:
    enum class Kind { File, Directory };
    TPathEdit(Kind kind, QString title, QWidget* parent = nullptr);

    std::string Path() const;
    void SetPath(const std::string& path);

    // Where the chooser opens; the field's folder when empty.
    std::function<std::string()> StartDir;
    // For files only.
    QString Filter = "All files (*)";
    // For directories only: the chooser offers to create a folder.
    bool MayCreate = true;

    QLineEdit* Edit = nullptr;
    QToolButton* Browse = nullptr;

private:
    void BrowseClick();

    Kind kind_;
    QString title_;
};

// The check of a folder field as OK does it in the dialogs: a folder typed is made absolute and
// ended with '/' in the field, then `problem` says what is wrong with it (empty when nothing; it
// gets the empty text when the field is empty). A problem is shown as a warning, the field gets
// the focus, and the answer is false.
bool CheckFolderField(TPathEdit& field, const std::string& baseDir, UserPrompts& prompts,
                      const std::function<std::string(const std::string& dir)>& problem);

// The checks of a folder that receives moved files, in the option dialogs: not empty (else
// `emptyMessage`), an existing directory, not read-only.
bool CheckMoveDirectory(TPathEdit& field, const std::string& emptyMessage, const std::string& baseDir,
                        UserPrompts& prompts);

}  // namespace qm
