// Fixtures of the GUI tests: a fresh folder per test with the settings, data and scratch folders
// pointed into it, and a small profile whose collection holds every state the tree shows.
#pragma once

#include <QApplication>
#include <QModelIndex>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/UserPrompts.h"
#include "ui/MainWindow.h"

class QAction;
class QFileDialog;

namespace qm::test {

namespace fs = std::filesystem;

class GuiEnvironment {
public:
    GuiEnvironment();
    ~GuiEnvironment();
    GuiEnvironment(const GuiEnvironment&) = delete;
    GuiEnvironment& operator=(const GuiEnvironment&) = delete;

    fs::path Root() const { return fs::path(dir_.path().toStdString()); }
    fs::path DataDir() const { return Root() / "datas"; }
    fs::path RomDir() const { return Root() / "roms"; }
    fs::path SettingsFile() const { return Root() / "config" / "quillmark" / "quillmark.ini"; }
    std::string Settings() const;
    // Makes `name` the stored current profile.
    void SetCurrentProfile(const std::string& name) const;

private:
    QTemporaryDir dir_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

// Profile `name` in the data directory, its ROM directory RomDir():
//
//   set    description    clone (description)               ROMs (+ in the collection)
//   alpha  Alpha Game     alpha                             a1+ a2+
//                         alphaj (Alpha Game (Japan))       a1+ merged, aj2
//   beta   Beta Blaster   beta                              b1+, b2 no good dump known
//   gamma  Gamma Quest    gamma                             g1
//   zeta   Gamma Quest    zeta (Zeta Gamma)                 z1+
//   neogeo Neo-Geo Bios   neogeo (Neo-Geo)                  sp+
//   ngame  Neo Game       ngame (Neo-Geo)                   n1+
//   omega  Omega Force    omega                             o1
//
// No CRC is the complement of another (that would make it a known bad dump of the other). With
// `withZips` the archives of the collection are written too.
void WriteTestProfile(const GuiEnvironment& env, const std::string& name = "test", bool withZips = true);
// Sets `key` (written empty by WriteTestProfile, such as "exe" or "runcmd") in a datafile header.
void SetHeaderValue(const fs::path& datafile, const std::string& key, const std::string& value);

std::string Slurp(const fs::path& file);
// A path as the widgets show it.
QString Text(const fs::path& path);

// Calls `answer` with the next visible modal window of type T (a dialog, a chooser, a message
// box) once it is up, looking from the event loop every few milliseconds; gives up after 20 s,
// when the test's own wait fails.
template <class T>
void WhenModal(std::function<void(T*)> answer) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, answer = std::move(answer)] {
        T* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window != nullptr && window->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(window);
        } else if (++*tries > 2000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// Types `path` into a chooser and presses its Open button. (Typed, not selected: a selection
// waits for the chooser's folder to be read.)
void Choose(QFileDialog* chooser, const fs::path& path);
// Picks `path` in the next file or directory chooser.
void ChooseInNextChooser(const fs::path& path);

// The main window on the environment of a test, and the ways tests drive it.
class MainWindowFixture {
protected:
    // A fresh environment with the test profile, current.
    void MakeEnvironment();
    // Closes the window and removes the environment.
    void TearDown();
    // A window shown, with its start-up done. Questions get `answer`, or go to `prompts`.
    bool Start(bool answer = true, UserPrompts* prompts = nullptr);
    QAction* Action(const char* name) const;
    // Triggers an entry and waits for its command to end.
    bool Run(const char* action);
    QStringList TopRows() const;
    QModelIndex Child(const QModelIndex& parent, const QString& text) const;

    std::unique_ptr<GuiEnvironment> env_;
    std::unique_ptr<RecordingPrompts> prompts_;
    std::unique_ptr<TForm1> form_;
    // Files handed to the desktop to open.
    std::vector<fs::path> opened_;
};

}  // namespace qm::test
