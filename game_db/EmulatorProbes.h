// Version probes: an emulator is run once with its help option and its version is read from
// what it prints, before a datafile is built from its game listing. The output goes to a file
// of the scratch folder ("temp.txt" for MAME, "raine.txt" for Raine) that is removed afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm {

class Job;

// True when exe is a MAME executable that ran with -help and ended with exit code 0; version
// then holds the text before the first '-' of the first line it printed. "mame32.exe" is
// refused without being run.
bool GetMameVersion(const std::filesystem::path& exe, std::string& version, const std::filesystem::path& scratchDir,
                    Job& job);
// True when the Raine executable printed a line starting with "version" (in any case) to -help;
// version is the last word of the last such line. Raine's exit code is not examined.
bool GetRaineVersion(const std::filesystem::path& exe, std::string& version, const std::filesystem::path& scratchDir,
                     Job& job);

// The two reading rules on their own.
std::string MameVersionFromHelp(std::string_view helpText);
std::string RaineVersionFromHelp(std::string_view helpText);

}  // namespace qm
