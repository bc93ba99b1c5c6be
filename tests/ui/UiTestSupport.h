// Fixtures of the GUI tests: a fresh folder per test with the settings, data and scratch folders
// pointed into it, and a small profile whose collection holds every state the tree shows.
#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

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

}  // namespace qm::test
