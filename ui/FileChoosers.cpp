#include "ui/FileChoosers.h"

#include <unistd.h>

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <filesystem>

#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "platform/UserPrompts.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string PathBytes(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

}  // namespace

std::optional<std::string> ChooseExistingFile(QWidget* parent, const QString& title, const std::string& startDir,
                                              const QString& filter) {
    QFileDialog chooser(parent, title, PathText(startDir), filter);
    chooser.setObjectName("FileChooser");
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return PathBytes(chooser.selectedFiles().front());
}

std::optional<std::string> ChooseDirectory(QWidget* parent, const QString& title, const std::string& startDir,
                                           bool mayCreate) {
    QFileDialog chooser(parent, title, PathText(startDir));
    chooser.setObjectName("DirectoryChooser");
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly, true);
    chooser.setOption(QFileDialog::ReadOnly, !mayCreate);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return WithTrailingSlash(PathBytes(chooser.selectedFiles().front()));
}

bool IsExecutableFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

std::string DirectoryOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string() : WithTrailingSlash(parent.string());
}

std::string AbsoluteFrom(const std::string& baseDir, const std::string& path) {
    if (path.empty() || fs::path(path).is_absolute()) {
        return path;
    }
    return (fs::path(baseDir) / path).lexically_normal().string();
}

TPathEdit::TPathEdit(Kind kind, QString title, QWidget* parent)
    : QWidget(parent), kind_(kind), title_(std::move(title)) {
    Edit = new QLineEdit(this);
    Browse = new QToolButton(this);
    Browse->setText("...");
    Browse->setToolTip(title_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(Edit, 1);
    layout->addWidget(Browse);
    setFocusProxy(Edit);
    connect(Browse, &QToolButton::clicked, this, &TPathEdit::BrowseClick);
}

std::string TPathEdit::Path() const {
    return PathBytes(Edit->text());
}

void TPathEdit::SetPath(const std::string& path) {
    Edit->setText(PathText(path));
}

void TPathEdit::BrowseClick() {
    std::string start = StartDir ? StartDir() : std::string();
    if (start.empty()) {
        start = kind_ == Kind::File ? DirectoryOf(Path()) : Path();
    }
    const std::optional<std::string> chosen = kind_ == Kind::File ? ChooseExistingFile(this, title_, start, Filter)
                                                                  : ChooseDirectory(this, title_, start, MayCreate);
    if (chosen) {
        SetPath(*chosen);
    }
}

bool CheckFolderField(TPathEdit& field, const std::string& baseDir, UserPrompts& prompts,
                      const std::function<std::string(const std::string& dir)>& problem) {
    std::string dir = field.Path();
    if (!dir.empty()) {
        dir = WithTrailingSlash(AbsoluteFrom(baseDir, dir));
        field.SetPath(dir);
    }
    if (const std::string message = problem(dir); !message.empty()) {
        prompts.Show(MessageKind::Warning, message);
        field.setFocus();
        return false;
    }
    return true;
}

bool CheckMoveDirectory(TPathEdit& field, const std::string& emptyMessage, const std::string& baseDir,
                        UserPrompts& prompts) {
    return CheckFolderField(field, baseDir, prompts, [&emptyMessage](const std::string& dir) -> std::string {
        if (dir.empty()) {
            return emptyMessage;
        }
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) {
            return "Directory not found, please choose another one.";
        }
        if (IsReadOnlyMedium(dir)) {
            return "Directory read only, please choose another one.";
        }
        return {};
    });
}

}  // namespace qm
