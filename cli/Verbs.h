// The verbs of quillmark-cli, each writing to the context's streams.
#pragma once

#include "cli/Cli.h"
#include "cli/Json.h"

namespace qm {

int VerbScan(CliContext& ctx);
int VerbStatus(CliContext& ctx);
int VerbPaths(CliContext& ctx);
int VerbAudit(CliContext& ctx);
int VerbReport(CliContext& ctx);
const std::set<std::string>& AuditOptionNames();

// The set/clone/ROM counts with complete, incomplete and empty counts, as text or JSON keys.
void PrintCounts(CliContext& ctx, JsonObject& json);

}  // namespace qm
