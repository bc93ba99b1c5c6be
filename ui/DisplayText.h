// Names and descriptions are bytes (Windows-1252, or UTF-8 from zip entries); the windows show
// them decoded.
#pragma once

#include <QString>
#include <string_view>

#include "platform/Platform.h"

namespace qm {

inline QString ToDisplay(std::string_view bytes) {
    return QString::fromStdString(DisplayText(bytes));
}

}  // namespace qm
