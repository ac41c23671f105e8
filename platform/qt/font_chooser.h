#pragma once
// The terminal font chooser, run modally over `parent`.
//   RunFontChooser(parent, lf, color)  true when the user chose (lf and color then hold the
//                                      choice); false when cancelled, both left unchanged
#include <cstdint>

#include "platform/font.h"

class QWidget;

namespace pelko::qt {

bool RunFontChooser(QWidget* parent, platform::LogFont& lf, std::uint32_t& color);

} // namespace pelko::qt
