#pragma once

#include <QString>

#include <string_view>

#include "core/resources/StringTable.h"

namespace dw {

// A text of the string table as the widgets show it.
inline QString TableText(int id) {
    const std::string_view s = LoadString(id);
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace dw
