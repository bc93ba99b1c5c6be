#include "ui/OptionsDialog.h"

#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "commands/Session.h"
#include "config/EmulatorCfg.h"
#include "game_db/cel_strings.h"
#include "platform/SystemTools.h"
#include "platform/Text.h"
#include "platform/UserPrompts.h"
#include "ui/FileChoosers.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// The hourglass for the length of a check that may touch slow media.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TformOptions::TformOptions(TSession& session, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), session_(session), prompts_(prompts) {
    setObjectName("formOptions");
    setWindowTitle("options");

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    auto* general = new QWidget(PageControl1);
    PageControl1->addTab(general, "General");

    auto* roms = new QGroupBox("Roms directories", general);
    RomsPaths = new QListWidget(roms);
    RomsPaths->setObjectName("RomsPaths");
    Add = NewButton(roms, "Add", "Add...");
    Remove = NewButton(roms, "Remove", "Remove");
    Clear = NewButton(roms, "Clear", "Clear");
    GetFromCfg = NewButton(roms, "GetFromCfg", "Get from cfg");
    connect(Add, &QPushButton::clicked, this, &TformOptions::AddClick);
    connect(Remove, &QPushButton::clicked, this, &TformOptions::RemoveClick);
    connect(Clear, &QPushButton::clicked, this, &TformOptions::ClearClick);
    connect(GetFromCfg, &QPushButton::clicked, this, &TformOptions::GetFromCfgClick);
    auto* romsLayout = new QGridLayout(roms);
    romsLayout->addWidget(RomsPaths, 0, 0, 5, 1);
    romsLayout->addWidget(Add, 0, 1);
    romsLayout->addWidget(Remove, 1, 1);
    romsLayout->addWidget(Clear, 2, 1);
    romsLayout->addWidget(GetFromCfg, 3, 1);
    romsLayout->setRowStretch(4, 1);

    auto* exe = new QGroupBox("Emulator executable", general);
    EmuExe = new TPathEdit(TPathEdit::Kind::File, "Select the emulator executable file", exe);
    EmuExe->setObjectName("EmuExe");
    EmuExe->Filter = "exe file (*)";
    EmuExe->StartDir = [this] {
        const std::string dir = DirectoryOf(EmuExe->Path());
        std::error_code ec;
        return fs::is_directory(dir, ec) ? dir : session_.Games.BaseDir;
    };
    auto* exeLayout = new QVBoxLayout(exe);
    exeLayout->addWidget(EmuExe);

    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(roms, 1);
    generalLayout->addWidget(exe);

    OK = new QPushButton("&OK", this);
    OK->setObjectName("OK");
    OK->setDefault(true);
    Cancel = NewButton(this, "Cancel", "&Cancel");
    connect(OK, &QPushButton::clicked, this, &TformOptions::accept);
    connect(Cancel, &QPushButton::clicked, this, &TformOptions::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);
    resize(480, 360);
}

std::vector<std::string> TformOptions::Directories() const {
    std::vector<std::string> dirs;
    dirs.reserve(static_cast<std::size_t>(RomsPaths->count()));
    for (int i = 0; i < RomsPaths->count(); ++i) {
        dirs.push_back(RomsPaths->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    }
    return dirs;
}

void TformOptions::AddDirectory(const std::string& dir) {
    auto* item = new QListWidgetItem(QFile::decodeName(QByteArray::fromStdString(dir)));
    item->setData(Qt::UserRole, QByteArray::fromStdString(dir));
    RomsPaths->addItem(item);
}

void TformOptions::SelectFirst() {
    if (RomsPaths->count() > 0) {
        RomsPaths->setCurrentRow(0);
    }
}

void TformOptions::showEvent(QShowEvent* event) {
    changed_ = false;
    EmuExe->SetPath(session_.Config.Exe);
    RomsPaths->clear();
    for (const std::string& dir : session_.Config.RomPaths) {
        AddDirectory(dir);
    }
    SelectFirst();
    QDialog::showEvent(event);
}

void TformOptions::AddClick() {
    std::string start = session_.Games.EmulatorDir;
    std::error_code ec;
    if (start.empty() || !fs::is_directory(start, ec)) {
        start = session_.Games.BaseDir;
    }
    const std::optional<std::string> chosen = ChooseDirectory(this, "Add a roms directory", start);
    if (!chosen) {
        return;
    }
    const std::vector<std::string> dirs = Directories();
    if (std::find(dirs.begin(), dirs.end(), *chosen) == dirs.end()) {
        AddDirectory(*chosen);
    }
    changed_ = true;
}

void TformOptions::RemoveClick() {
    // Without a selected line there is nothing to remove.
    const int row = RomsPaths->currentRow();
    if (row < 0) {
        return;
    }
    delete RomsPaths->takeItem(row);
    SelectFirst();
    changed_ = true;
}

void TformOptions::ClearClick() {
    RomsPaths->clear();
}

void TformOptions::GetFromCfgClick() {
    changed_ = true;
    const std::string dir = DirectoryOf(AbsoluteFrom(session_.Games.BaseDir, EmuExe->Path()));
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec)) {
        prompts_.Show(MessageKind::Error, "Emulator not found.");
        return;
    }
    std::vector<std::string> found;
    try {
        RomPathsFromCfg(LowerCase(session_.Config.RefName), dir, found);
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, e.what());
        return;
    }
    RomsPaths->clear();
    for (const std::string& path : found) {
        AddDirectory(WithTrailingSlash(path));
    }
    SelectFirst();
}

void TformOptions::accept() {
    const WaitCursor hourglass;
    const std::vector<std::string> dirs = Directories();
    if (std::all_of(dirs.begin(), dirs.end(), [](const std::string& dir) { return IsReadOnlyMedium(dir); })) {
        // The ROM directory list keeps what it held: Cancel leaves the collection as it was.
        prompts_.Show(MessageKind::Warning, "You must select at least one path on your HD.");
        RomsPaths->setFocus();
        return;
    }
    const std::string exe = EmuExe->Path();
    // Checked before anything is written: the header gets both values or neither.
    try {
        for (const std::string& dir : dirs) {
            CheckRomDirectory(dir);
        }
        CheckOneLineText("Emulator executable", exe);
    } catch (const EBadValue& e) {
        prompts_.Show(MessageKind::Warning, e.what());
        return;
    }
    TConfig& config = session_.Config;
    try {
        if (changed_) {
            const std::vector<std::string> previous = config.RomPaths;
            config.RomPaths = dirs;
            try {
                config.SaveRomPaths();
            } catch (...) {
                config.RomPaths = previous;
                throw;
            }
            // The list is rebuilt only when it changed: its scan results stay otherwise.
            session_.Paths.Reset(false);
            for (const std::string& dir : dirs) {
                session_.Paths.AddPath(dir);
            }
        }
        if (exe != config.Exe) {
            config.SetExe(exe);
        }
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, e.what());
        return;
    }
    QDialog::accept();
}

}  // namespace qm
