#include "ui/Icons.h"

#include <QString>
#include <array>

namespace qm {

QIcon IconForState(int index) {
    static constexpr std::array<const char*, 6> kFiles = {
        ":/icons/missing.svg",
        ":/icons/partial.svg",
        ":/icons/complete.svg",
        ":/icons/missing_nogooddump.svg",
        ":/icons/partial_nogooddump.svg",
        ":/icons/complete_nogooddump.svg",
    };
    // A new ROM of which no good dump is known, in the tree of new dropped ROMs.
    if (index == 10) {
        return QIcon(QStringLiteral(":/icons/new_nogooddump.svg"));
    }
    if (index < 0 || index >= static_cast<int>(kFiles.size())) {
        return {};
    }
    return QIcon(QString::fromLatin1(kFiles[static_cast<std::size_t>(index)]));
}

QIcon ApplicationIcon() {
    return QIcon(QStringLiteral(":/icons/quillmark.svg"));
}

}  // namespace qm
