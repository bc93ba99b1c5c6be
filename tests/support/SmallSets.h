// The small game database the audit and repair tests share: puckman (with its clone pacman), and
// beta, gamma and delta, three sets that need one sound ROM under two names. Its ROMs are a few
// bytes each; the datafile lines give their CRCs.
#pragma once

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace qm::test {

inline const std::string kP1 = "puckman program 1";
inline const std::string kP2 = "puckman program 2";
inline const std::string kPJ = "pacman own program";
inline const std::string kCommon = "a sound rom everybody uses";
inline const std::string kB1 = "beta program";
inline const std::string kC1 = "gamma program";
inline const std::string kD1 = "delta program";

// The datafile lines; puckman's pal.bin has no good dump known.
inline std::vector<std::string> SmallSetLines() {
    return {
        RomLine("beta", "Beta", "beta", "Beta", "b1.bin", CrcOf(kB1), "N", "O", "12"),
        RomLine("beta", "Beta", "beta", "Beta", "common.bin", CrcOf(kCommon), "N", "O", "26"),
        RomLine("delta", "Delta", "delta", "Delta", "d1.bin", CrcOf(kD1), "N", "O", "13"),
        RomLine("delta", "Delta", "delta", "Delta", "snd.bin", CrcOf(kCommon), "N", "O", "26"),
        RomLine("gamma", "Gamma", "gamma", "Gamma", "c1.bin", CrcOf(kC1), "N", "O", "13"),
        RomLine("gamma", "Gamma", "gamma", "Gamma", "common.bin", CrcOf(kCommon), "N", "O", "26"),
        RomLine("puckman", "Puck Man", "pacman", "Pac-Man", "p1.bin", CrcOf(kP1), "N", "N", "17"),
        RomLine("puckman", "Puck Man", "pacman", "Pac-Man", "pj.bin", CrcOf(kPJ), "N", "O", "18"),
        RomLine("puckman", "Puck Man", "puckman", "Puck Man", "p1.bin", CrcOf(kP1), "N", "O", "17"),
        RomLine("puckman", "Puck Man", "puckman", "Puck Man", "p2.bin", CrcOf(kP2), "N", "O", "17"),
        RomLine("puckman", "Puck Man", "puckman", "Puck Man", "pal.bin", "00000000", "N", "O", "30"),
    };
}

}  // namespace qm::test
