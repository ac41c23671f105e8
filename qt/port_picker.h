#pragma once
// The Setup dialog's port list, told where each entry leads: a line under the list shows the
// device of the chosen entry, and the list's context menu sets it, from the serial devices of
// this machine or a path (a host:port for TELNET) typed in, and which lines a reset pulses and
// for how long. The choice is kept in the per-user ports file; a device takes effect at the next
// Connect, a reset plan at the next reset.
//   AttachPortPicker(dialog, list, label)  wires the list's context menu and keeps the label in
//                                          step with the chosen entry; cannot fail
#include <QComboBox>
#include <QLabel>
#include <QWidget>

namespace pelko::qt {

void AttachPortPicker(QWidget* dialog, QComboBox* list, QLabel* label);

} // namespace pelko::qt
