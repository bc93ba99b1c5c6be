#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <exception>
#include <optional>
#include <string>

#include "config/config.h"
#include "platform/HeapTuning.h"
#include "platform/Platform.h"
#include "ui/Icons.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxPrompts.h"

namespace {

const char* kUsage =
    "usage: quillmark [--data-dir DIR]\n"
    "  --data-dir DIR   the folder of the datafiles (else $QUILLMARK_DATA_DIR, ./datas/,\n"
    "                   or ~/.local/share/quillmark/datas/)\n";

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillmark");
    QApplication::setDesktopFileName("quillmark");
    QApplication::setWindowIcon(qm::ApplicationIcon());

    // Qt has taken its own options out of the arguments by now.
    std::optional<std::filesystem::path> dataDir;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--data-dir" && i + 1 < args.size()) {
            dataDir = std::filesystem::path(QFile::encodeName(args[++i]).toStdString());
        } else if (arg.startsWith("--data-dir=")) {
            dataDir = std::filesystem::path(QFile::encodeName(arg.mid(11)).toStdString());
        } else {
            fputs(kUsage, stderr);
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }

    qm::MessageBoxPrompts prompts;
    std::unique_ptr<qm::TForm1> window;
    try {
        window = std::make_unique<qm::TForm1>(qm::ConfigPaths::FromEnvironment(dataDir), prompts);
    } catch (const std::exception& e) {
        // Without its configuration and lists the program cannot run.
        QMessageBox::critical(nullptr, "Quillmark", QString::fromStdString(qm::DisplayText(e.what())));
        return 1;
    }
    window->show();
    return QApplication::exec();
}
