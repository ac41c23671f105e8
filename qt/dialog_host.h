#pragma once
// A modal dialog built from one of Pelko's dialog layouts, driven by a dialog procedure: the
// procedure gets the init message, then a command message for every button, check box and list
// selection, and ends the dialog with EndDialog. Esc and the window's close request arrive as
// Cancel (2); the dialog closes only when the procedure says so. The procedure gets WM_DESTROY
// once the dialog has closed.
//   DialogHost(layout, proc, param, owner)  builds the widgets, laid out from dialog units
//   Run()                                   runs the dialog; the value given to EndDialog
//   Item(id)                                the widget of a control id, nullptr when none
// A list entry's tooltip (SetItemTip) shows on the entry in the open list and on the closed list
// while that entry is selected. The font chooser runs over the dialog.
// The platform::Dialog operations act on controls by id; an unknown id is ignored ("" for text).
#include <QDialog>
#include <map>

#include "platform/window.h"
#include "resources/resources.h"

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
    int AddString(int id, const std::string& text) override;
    void SetItemData(int id, int index, std::uint32_t data) override;
    std::intptr_t GetItemData(int id, int index) const override;
    void SetItemTip(int id, int index, const std::string& tip) override;
    void SetCurSel(int id, int index) override;
    int GetCurSel(int id) const override;
    void EnableWindow(int id, bool enable) override;
    void CheckDlgButton(int id, unsigned check) override;
    unsigned IsDlgButtonChecked(int id) const override;
    bool ChooseFont(platform::LogFont& lf, std::uint32_t& color) override;

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
