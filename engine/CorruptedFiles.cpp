#include "engine/CorruptedFiles.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

TCorruptedFiles::TCorruptedFiles(TDatFile& dirCache, const TCheckOptions& options, Job& job)
    : dirCache_(dirCache), options_(options), job_(job) {}

void TCorruptedFiles::Handle(const std::string& archivePath, const std::string& message) {
    job_.CheckCancel();
    const std::string fileName = FileNameOfPath(archivePath);
    const std::string directory = WithTrailingSlash(fs::path(archivePath).parent_path().string());
    std::error_code ec;
    switch (options_.Corrupted) {
        case CorruptedAction::Ignore:
            job_.Problem(message);
            job_.Problem("***** File ignored");
            return;
        case CorruptedAction::Move: {
            job_.Problem(message);
            const std::string target = WithTrailingSlash(options_.CorruptedPath);
            fs::path destination = fs::path(target) / fileName;
            fs::create_directories(target, ec);
            // An older file of that name there is kept: the new one gets a free name beside it.
            for (int n = 2; fs::exists(fs::symlink_status(destination, ec)); ++n) {
                destination = fs::path(target) / (ZipBaseName(fileName) + " (" + std::to_string(n) + ").zip");
            }
            try {
                dirCache_.PrepareChange(directory);
                MakeWritable(archivePath);
                MoveFileOrCopy(archivePath, destination);
            } catch (const std::exception& e) {
                job_.Problem("Can't copy file " + archivePath + " in " + destination.string() + " .");
                job_.Problem(e.what());
                job_.Problem("");
                ++failed_;
                return;
            }
            ++handled_;
            job_.Problem("***** File moved to " + target);
            dirCache_.Open(directory);
            dirCache_.DeleteZip(archivePath);
            return;
        }
        case CorruptedAction::Delete: {
            job_.Problem(message);
            std::string why;
            try {
                dirCache_.PrepareChange(directory);
            } catch (const std::exception& e) {
                why = e.what();  // the archive must not change while its cache says otherwise
            }
            // To the Trash: the user can take it back.
            if (why.empty() && !MoveToTrash(archivePath, &why) && why.empty()) {
                why = "cannot move to the Trash";
            }
            if (!why.empty()) {
                job_.Problem("Can't delete file " + archivePath + ".");
                job_.Problem(why);
                job_.Problem("");
                ++failed_;
                return;
            }
            ++handled_;
            SyncDirectory(directory);
            job_.Problem("***** File deleted");
            dirCache_.Open(directory);
            dirCache_.DeleteZip(archivePath);
            return;
        }
    }
}

}  // namespace qm
