#pragma once
// The open-file dialog for the source file (Qt's own dialog, not the desktop's).
//   RunOpenFileDialog(parent, path, title, filters, defaultExt)
//       true when a file was chosen: `path` then holds its full name and `title` its name
//       alone; false when cancelled, both left unchanged. It starts from `path`, shows each
//       filter's text (the first one applied first) and never changes the working directory.
#include <QWidget>
#include <span>
#include <string>

#include "platform/window.h"

namespace pelko::qt {

bool RunOpenFileDialog(QWidget* parent, std::string& path, std::string& title,
                       std::span<const platform::FileFilter> filters,
                       const std::string& defaultExt);

} // namespace pelko::qt
