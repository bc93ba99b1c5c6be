#include "ui/EngineEvents.h"

#include "commands/Session.h"

namespace qm {

namespace {

constexpr const char* kCancelled = "Process cancelled by user !";

}  // namespace

EngineEventsToJob::EngineEventsToJob(TSession& session, GuiJob& job) : session_(session) {
    TPathsList& paths = session.Paths;
    // Every report is a point where the operation may stop.
    auto poll = [&job, &paths] {
        if (job.CancelRequested()) {
            paths.CancelRequested = true;
            job.CheckCancel(kCancelled);
        }
    };
    auto percent = [&job, poll](int value) {
        poll();
        job.Progress(static_cast<std::uint64_t>(std::max(value, 0)), 100);
    };
    auto text = [&job, poll](const std::string& line) {
        poll();
        job.Status(line);
    };
    session.Games.OnProgress = percent;
    session.Games.OnStatus = text;
    session.Games.OnSetCount = [&job](int n) { job.Count(LoadCount::Sets, n); };
    session.Games.OnCloneCount = [&job](int n) { job.Count(LoadCount::Clones, n); };
    session.Games.OnRomCount = [&job](int n) { job.Count(LoadCount::Roms, n); };
    session.SubList.OnProgress = percent;
    session.SubList.OnProgressText = text;
    paths.OnProgress = percent;
    paths.OnMessage = text;
    paths.OnProblemLines = [&job](const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            job.Problem(line);
        }
    };
}

EngineEventsToJob::~EngineEventsToJob() {
    session_.Games.OnProgress = nullptr;
    session_.Games.OnStatus = nullptr;
    session_.Games.OnSetCount = nullptr;
    session_.Games.OnCloneCount = nullptr;
    session_.Games.OnRomCount = nullptr;
    session_.SubList.OnProgress = nullptr;
    session_.SubList.OnProgressText = nullptr;
    session_.Paths.OnProgress = nullptr;
    session_.Paths.OnMessage = nullptr;
    session_.Paths.OnProblemLines = nullptr;
}

}  // namespace qm
