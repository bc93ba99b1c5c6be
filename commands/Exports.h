// The Neo-Geo export and the CD update as both programs run them, minus the windows: the
// engine's run, the caches written, then the rescan when the collection changed.
#pragma once

#include <string>

#include "engine/CdUpdate.h"
#include "engine/NeoGeoExport.h"
#include "platform/Job.h"

namespace qm {

class TSession;
class UserPrompts;

// Exports a plan made by PlanNeoGeoExport on the session's collection, writes the caches, and
// rescans (from the caches) when the collection changed: archives moved, or copied into one of
// its ROM directories.
NeoGeoExportResult RunNeoGeoExport(TSession& session, const NeoGeoExportPlan& plan, const NeoGeoExportOptions& options,
                                   Job& job);

// A folder that does not exist is created, with its missing parents, once the user agrees
// ("Directory ... not found. Do you want to create it ?"). False when the user does not; whether
// the folder could be made is for the caller to check.
bool OfferToCreateFolder(const std::string& dir, UserPrompts& prompts);

// The checks of the update dialog's OK: the folder to update must exist; a missing destination
// is created once the user agrees; the two must be different folders and the destination
// writable. Each refusal is told through the prompts. On success both end with '/'.
bool PrepareCdUpdateFolders(CdUpdateOptions& options, UserPrompts& prompts);

// The update, the destination's cache written, and a rescan when the destination is one of the
// collection's ROM directories and something changed in it.
CdUpdateResult RunCdUpdate(TSession& session, const CdUpdateOptions& options, Job& job);

}  // namespace qm
