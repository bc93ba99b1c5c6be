// The one place where the engine's event members (std::function callbacks on the game
// database, the smart list and the ROM directory list, and the directory list's cancel flag)
// are tied to a qm::Job. The engine is moving to taking a Job& for its long operations; once it
// does, the binding below shrinks to passing the job along.
#pragma once

#include "ui/GuiJob.h"

namespace qm {

class TSession;

// Routes the session's events to `job` for the life of the object. While it is bound, a cancel
// requested on the job is passed to the ROM directory list (the audit polls it after every
// entry) and stops any other operation at its next progress report with ECancelClick
// ("Process cancelled by user !").
class EngineEventsToJob {
public:
    EngineEventsToJob(TSession& session, GuiJob& job);
    ~EngineEventsToJob();
    EngineEventsToJob(const EngineEventsToJob&) = delete;
    EngineEventsToJob& operator=(const EngineEventsToJob&) = delete;

private:
    TSession& session_;
};

}  // namespace qm
