#include "qt/status_bar.h"

#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "app/status.h"
#include "qt/qt_window.h"

namespace pelko::qt {

void AttachStatusBar(QtWindow& window) {
    auto* line = new QLabel(&window);
    line->setTextFormat(Qt::PlainText);
    window.statusBar()->addWidget(line, 1);
    window.statusBar()->setSizeGripEnabled(false);
    window.resize(window.width(), window.height() + window.statusBar()->sizeHint().height());
    auto refresh = [&window, line] {
        const StatusInfo s = DescribeStatus(&window);
        QString text = QString::fromStdString(s.port);
        if (!s.device.empty()) {
            text += QStringLiteral(" (%1)").arg(QString::fromStdString(s.device));
        }
        text += QStringLiteral("  %1 baud  %2").arg(s.baud).arg(QString::fromStdString(s.state));
        if (!s.source.empty()) {
            text +=
                QStringLiteral("  |  ") + QFileInfo(QString::fromStdString(s.source)).fileName();
        }
        if (!s.progress.empty()) {
            text += QStringLiteral("  |  ") + QString::fromStdString(s.progress);
        }
        if (!s.log.empty()) {
            text += QStringLiteral("  |  log: ") + QString::fromStdString(s.log);
        }
        if (!s.control.empty()) {
            text += QStringLiteral("  |  ") + QString::fromStdString(s.control);
        }
        if (line->text() != text) {
            line->setText(text);
        }
    };
    refresh();
    auto* timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, line, refresh);
    timer->start(250);
}

} // namespace pelko::qt
