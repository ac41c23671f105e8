#include "qt/file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <string_view>

namespace pelko::qt {

bool RunOpenFileDialog(QWidget* parent, std::string& path, std::string& title,
                       std::span<const platform::FileFilter> filters,
                       const std::string& defaultExt) {
    QFileDialog dialog(parent, QStringLiteral("Select Source"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Each filter shows its own text; the pattern in the last parentheses is the one applied
    // ("*.*" as "*", so that names without a dot are listed too).
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList names;
    for (const platform::FileFilter& f : filters) {
        const QString pattern = std::string_view(f.pattern) == "*.*" ? QStringLiteral("*")
                                                                     : QString::fromUtf8(f.pattern);
        names << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(f.name), pattern);
    }
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
    }
    dialog.setDefaultSuffix(QString::fromStdString(defaultExt));
    if (!path.empty()) {
        const QFileInfo last(QString::fromStdString(path));
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    const QString chosen = dialog.selectedFiles().first();
    path = chosen.toStdString();
    title = QFileInfo(chosen).fileName().toStdString();
    return true;
}

} // namespace pelko::qt
