// Feeds arbitrary bytes to the datafile loader: the header reader, the game-section line
// parser, the set/clone/ROM building, the selection and the status computation.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "game_db/GamesList.h"
#include "platform/IniFile.h"
#include "game_db/SubList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)qm::IniFile::Parse(bytes, "games");
    qm::TGamesList games;
    games.LoadDatafileBytes(bytes);
    qm::TSubList subList(games);
    subList.MergedView = size % 2 == 1;
    subList.HideNoGoodDump = size % 3 == 1;
    subList.Rebuild();
    games.ResetRomStatus();
    for (std::size_t i = 0; i < games.RomsByCrc.size(); i += 2) {
        games.RomsByCrc[i]->Status = qm::rsPresent;
    }
    games.ComputeStatus();
    (void)qm::CountStatus(games);
    return 0;
}
