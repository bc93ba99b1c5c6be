#include "UiTestSupport.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TestSupport.h"

namespace qm::test {

namespace {

constexpr const char* kVariables[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "QUILLMARK_DATA_DIR",
                                      "QUILLMARK_TEST_READONLY_DIRS"};

struct RomSpec {
    const char* Set;
    const char* SetDescription;
    const char* Clone;
    const char* CloneDescription;
    const char* Rom;
    const char* Crc;
    const char* NeoGeo;
    const char* Own;
};

constexpr RomSpec kRoms[] = {
    {"alpha", "Alpha Game", "alpha", "Alpha Game", "a1.rom", "0aa10001", "N", "O"},
    {"alpha", "Alpha Game", "alpha", "Alpha Game", "a2.rom", "0aa20002", "N", "O"},
    {"alpha", "Alpha Game", "alphaj", "Alpha Game (Japan)", "a1.rom", "0aa10001", "N", "N"},
    {"alpha", "Alpha Game", "alphaj", "Alpha Game (Japan)", "aj2.rom", "0aa30003", "N", "O"},
    {"beta", "Beta Blaster", "beta", "Beta Blaster", "b1.rom", "0bb10001", "N", "O"},
    {"beta", "Beta Blaster", "beta", "Beta Blaster", "b2.rom", "00000000", "N", "O"},
    {"gamma", "Gamma Quest", "gamma", "Gamma Quest", "g1.rom", "0cc10001", "N", "O"},
    {"zeta", "Gamma Quest", "zeta", "Zeta Gamma", "z1.rom", "0dd10001", "N", "O"},
    {"neogeo", "Neo-Geo Bios", "neogeo", "Neo-Geo Bios", "sp.rom", "0ee10001", "O", "O"},
    {"ngame", "Neo Game", "ngame", "Neo Game", "n1.rom", "0ff10001", "O", "O"},
    {"omega", "Omega Force", "omega", "Omega Force", "o1.rom", "01010101", "N", "O"},
};

}  // namespace

GuiEnvironment::GuiEnvironment() {
    for (const char* name : kVariables) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old == nullptr ? std::string("\x01") : std::string(old));
    }
    ::setenv("XDG_CONFIG_HOME", (Root() / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (Root() / "share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (Root() / "cache").c_str(), 1);
    ::setenv("QUILLMARK_DATA_DIR", DataDir().c_str(), 1);
    ::unsetenv("QUILLMARK_TEST_READONLY_DIRS");
    fs::create_directories(DataDir());
    fs::create_directories(RomDir());
}

GuiEnvironment::~GuiEnvironment() {
    for (const auto& [name, value] : saved_) {
        if (value == "\x01") {
            ::unsetenv(name.c_str());
        } else {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
}

std::string GuiEnvironment::Settings() const {
    return Slurp(SettingsFile());
}

void GuiEnvironment::SetCurrentProfile(const std::string& name) const {
    fs::create_directories(SettingsFile().parent_path());
    std::ofstream(SettingsFile(), std::ios::binary | std::ios::trunc)
        << "[quillmark]\r\nCurrentEmulator=" << name << "\r\n";
}

void WriteTestProfile(const GuiEnvironment& env, const std::string& name, bool withZips) {
    std::vector<std::string> lines;
    for (const RomSpec& r : kRoms) {
        lines.push_back(
            RomLine(r.Set, r.SetDescription, r.Clone, r.CloneDescription, r.Rom, r.Crc, r.NeoGeo, r.Own, "4"));
    }
    std::ofstream(env.DataDir() / (name + ".dat"), std::ios::binary | std::ios::trunc)
        << Datafile(lines, "mame", env.RomDir().string() + "/");
    if (!withZips) {
        return;
    }
    auto entry = [](const char* rom, const char* crc) { return ZipEntrySpec{rom, ForgeCrc(crc)}; };
    MakeZip(env.RomDir() / "alpha.zip", {entry("a1.rom", "0aa10001"), entry("a2.rom", "0aa20002")});
    MakeZip(env.RomDir() / "beta.zip", {entry("b1.rom", "0bb10001")});
    MakeZip(env.RomDir() / "zeta.zip", {entry("z1.rom", "0dd10001")});
    MakeZip(env.RomDir() / "neogeo.zip", {entry("sp.rom", "0ee10001")});
    MakeZip(env.RomDir() / "ngame.zip", {entry("n1.rom", "0ff10001")});
}

void SetHeaderValue(const fs::path& datafile, const std::string& key, const std::string& value) {
    std::string text = Slurp(datafile);
    const std::string empty = "\r\n" + key + "=\r\n";
    const std::size_t at = text.find(empty);
    if (at != std::string::npos) {
        text.replace(at, empty.size(), "\r\n" + key + "=" + value + "\r\n");
    }
    std::ofstream(datafile, std::ios::binary | std::ios::trunc) << text;
}

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QString Text(const fs::path& path) {
    return QString::fromStdString(path.string());
}

void Choose(QFileDialog* chooser, const fs::path& path) {
    auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
    QVERIFY(name != nullptr);
    name->setText(Text(path));
    static_cast<QDialog*>(chooser)->accept();
}

void ChooseInNextChooser(const fs::path& path) {
    WhenModal<QFileDialog>([path](QFileDialog* chooser) { Choose(chooser, path); });
}

void MainWindowFixture::MakeEnvironment() {
    env_ = std::make_unique<GuiEnvironment>();
    WriteTestProfile(*env_);
    env_->SetCurrentProfile("test");
    opened_.clear();
}

void MainWindowFixture::TearDown() {
    form_.reset();
    prompts_.reset();
    env_.reset();
}

bool MainWindowFixture::Start(bool answer, UserPrompts* prompts) {
    prompts_ = std::make_unique<RecordingPrompts>(answer);
    form_ = std::make_unique<TForm1>(ConfigPaths::FromEnvironment(), prompts != nullptr ? *prompts : *prompts_);
    form_->OpenDocument = [this](const std::filesystem::path& file) {
        opened_.push_back(file);
        return true;
    };
    QSignalSpy started(form_.get(), &TForm1::StartupFinished);
    form_->show();
    return started.wait(20000);
}

QAction* MainWindowFixture::Action(const char* name) const {
    return form_->findChild<QAction*>(name);
}

bool MainWindowFixture::Run(const char* action) {
    QSignalSpy finished(form_.get(), &TForm1::CommandFinished);
    Action(action)->trigger();
    return finished.wait(20000);
}

QStringList MainWindowFixture::TopRows() const {
    QStringList rows;
    const QAbstractItemModel* model = form_->MergeTreeView->model();
    for (int i = 0; i < model->rowCount(); ++i) {
        rows << model->index(i, 0).data().toString();
    }
    return rows;
}

QModelIndex MainWindowFixture::Child(const QModelIndex& parent, const QString& text) const {
    const QAbstractItemModel* model = form_->MergeTreeView->model();
    for (int i = 0; i < model->rowCount(parent); ++i) {
        if (model->index(i, 0, parent).data().toString() == text) {
            return model->index(i, 0, parent);
        }
    }
    return {};
}

}  // namespace qm::test
