#pragma once
// A modal dialog built from one of Pelko's dialog layouts, driven by a dialog procedure: the
// procedure gets the init message, then a command message for every button, check box and list
// selection, and ends the dialog with EndDialog. Esc and the window's close request arrive as
// Cancel (2); the dialog closes only when the procedure says so.
//   DialogHost(layout, proc, param, owner)  builds the widgets, laid out from dialog units
//   Run()                                   runs the dialog; the value given to EndDialog
//   Item(id)                                the widget of a control id, nullptr when none
// The platform::Dialog operations act on controls by id; an unknown id is ignored ("" for text).
#include <QDialog>
#include <map>

#include "app/resources.h"
#include "platform/window.h"

namespace pelko::qt {

class DialogHost : public QDialog, public platform::Dialog {
    Q_OBJECT
public:
    DialogHost(const DialogTemplate& layout, platform::DlgProc proc, std::intptr_t param,
               platform::Window* owner, QWidget* parent);

    int Run();
    QWidget* Item(int id) const;
    // Converts dialog units to pixels for this dialog's font.
    QRect ToPixels(int x, int y, int cx, int cy) const;

    // platform::Dialog
    std::string GetDlgItemText(int id) const override;
    void SetDlgItemText(int id, const std::string& text) override;
    void EndDialog(int result) override;
    platform::Window* Owner() const override { return owner_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void Build(const DialogTemplate& layout);
    std::intptr_t Dispatch(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

    platform::DlgProc proc_;
    std::intptr_t param_;
    platform::Window* owner_;
    std::map<int, QWidget*> items_;
    int baseX_ = 6;
    int baseY_ = 13;
    int depth_ = 0;
    bool ended_ = false;
    int result_ = 0;
};

} // namespace pelko::qt
