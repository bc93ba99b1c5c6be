// The desktop program on a full-size profile: its start-up (datafile load, scan from the cache
// files, tree shown), the installed-roms tree rebuilt and shown after a scan at set and at clone
// level, and scrolling through it page by page. Each pass runs in a child process with its own
// application (the offscreen platform unless DISPLAY is set), on a copy of the datafile whose
// ROM directory is ROMDIR; the caches are written once beforehand.
//
// usage: bench_gui DATAFILE ROMDIR [RUNS]

#include <QApplication>
#include <QEventLoop>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchFigures.h"
#include "bench/ChildRun.h"
#include "commands/Session.h"
#include "platform/HeapTuning.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "ui/GameTreeModel.h"
#include "ui/MainWindow.h"

namespace fs = std::filesystem;

namespace {

using qm::bench::Median;
using qm::bench::Seconds;

struct PassResult {
    double Startup = 0;
    double FillSet = 0;
    double ShowSet = 0;
    double ShowClone = 0;
    double ScrollMean = 0;
    double ScrollMax = 0;
    int Rows = 0;
    int CloneRows = 0;
    long Nodes = 0;
    long PeakKiB = 0;
};

using Clock = std::chrono::steady_clock;

// Runs the event loop until `signal` of `object` fires.
template <class Object, class Signal>
void WaitFor(Object* object, Signal signal) {
    QEventLoop loop;
    QObject::connect(object, signal, &loop, &QEventLoop::quit);
    loop.exec();
}

void Paint(QTreeView* tree) {
    QCoreApplication::processEvents();
    tree->viewport()->repaint();
}

PassResult RunPass() {
    PassResult result;
    int argc = 1;
    char name[] = "bench_gui";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    qm::RecordingPrompts prompts;
    qm::TForm1 form(qm::ConfigPaths::FromEnvironment(), prompts);
    QTreeView* tree = form.MergeTreeView;

    auto start = Clock::now();
    form.show();
    WaitFor(&form, &qm::TForm1::StartupFinished);
    Paint(tree);
    result.Startup = Seconds(start);
    if (!prompts.shown.empty()) {
        std::fprintf(stderr, "bench_gui: the start-up said: %s\n", prompts.shown.front().second.c_str());
    }

    qm::TSession& session = form.Session();
    start = Clock::now();
    const qm::GameTree built = qm::FillGameTree(session.SubList, qm::DisplayFilter::All, qm::DisplayLevel::Set,
                                                qm::RomNodeOptions{}, qm::SilentJob());
    result.FillSet = Seconds(start);
    result.Nodes = static_cast<long>(built.Nodes.size());

    auto refresh = [&] {
        const auto from = Clock::now();
        bool done = false;
        form.RefreshGameTree(false, [&] { done = true; });
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        Paint(tree);
        return Seconds(from);
    };
    result.ShowSet = refresh();
    result.Rows = tree->model()->rowCount();
    session.Config.DisplayLevel = 1;
    result.ShowClone = refresh();
    result.CloneRows = tree->model()->rowCount();

    // Page by page through the clone level, drawn each time.
    QScrollBar* bar = tree->verticalScrollBar();
    const int steps = 300;
    const int stride = std::max(bar->pageStep(), (bar->maximum() + steps - 1) / steps);
    double total = 0;
    for (int i = 0; i < steps && bar->value() < bar->maximum(); ++i) {
        const auto from = Clock::now();
        bar->setValue(bar->value() + stride);
        tree->viewport()->repaint();
        const double t = Seconds(from);
        total += t;
        result.ScrollMax = std::max(result.ScrollMax, t);
    }
    result.ScrollMean = total / steps;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_gui DATAFILE ROMDIR [RUNS]\n");
        return 2;
    }
    const fs::path datafile = argv[1];
    const std::string romDir = qm::WithTrailingSlash(fs::absolute(argv[2]).string());
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

    char pattern[] = "/tmp/qmbenchgui.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    fs::create_directories(root / "datas");
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
    ::setenv("QUILLMARK_DATA_DIR", (root / "datas").c_str(), 1);
    if (std::getenv("DISPLAY") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // The offscreen platform warns about every window feature it lacks.
        ::setenv("QT_LOGGING_RULES", "default.warning=false", 0);
    }
    fs::create_directories(root / "runtime");
    fs::permissions(root / "runtime", fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 0);
    fs::copy_file(datafile, root / "datas" / "mame.dat");
    {
        // The profile's ROM directory, then one scan that writes the cache files.
        qm::RecordingPrompts prompts;
        qm::TSession session(qm::ConfigPaths::FromEnvironment(), prompts);
        session.Config.LoadEmulator("mame");
        session.Config.RomPaths = {romDir};
        session.Config.SaveRomPaths();
        if (!session.UseEmulator("mame", qm::SilentJob())) {
            std::fprintf(stderr, "bench_gui: the profile does not load\n");
            return 1;
        }
    }

    std::vector<double> startup, fill, showSet, showClone, scrollMean, scrollMax;
    PassResult last;
    long peak = 0;
    for (int i = 0; i < runs; ++i) {
        auto [r, peakKiB] = qm::bench::RunInChild<PassResult>(RunPass);
        startup.push_back(r.Startup);
        fill.push_back(r.FillSet);
        showSet.push_back(r.ShowSet);
        showClone.push_back(r.ShowClone);
        scrollMean.push_back(r.ScrollMean);
        scrollMax.push_back(r.ScrollMax);
        peak = std::max(peak, peakKiB);
        last = r;
    }
    std::printf("tree: %d sets at set level (%ld nodes), %d clones at clone level\n", last.Rows, last.Nodes,
                last.CloneRows);
    std::printf("start-up (load, scan from caches, tree shown): %.2f s (median of %d)\n", Median(startup), runs);
    std::printf("tree after a scan, set level: built %.3f s, built and shown %.3f s\n", Median(fill), Median(showSet));
    std::printf("tree after a scan, clone level: built and shown %.3f s\n", Median(showClone));
    std::printf("scrolling page by page: %.1f ms per page on average, %.1f ms at most\n", Median(scrollMean) * 1000,
                Median(scrollMax) * 1000);
    std::printf("peak memory: %ld MB\n", peak / 1024);
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
