#pragma once
// Pelko's fixed user-interface data: the menu bar, the function keys, the string table and the
// layouts of the About and Setup dialogs. Plain data; the window layer builds widgets from it.
//   LoadString(id)          the text of a string-table entry; "" for an unknown id
//   FindDialogTemplate(id)  the layout of dialog 100 or 101; nullptr for any other id
#include <cstdint>
#include <span>
#include <string>

namespace pelko {

// The menu bar. A top-level entry with children is a pop-up; one without is a command on the
// bar itself. A child with id 0 and no text is a separator.
struct MenuItem {
    const char* text;
    unsigned id;
    std::span<const MenuItem> children;
};
std::span<const MenuItem> MenuBar();

// Function keys, by their virtual-key codes, that act as commands when pressed with no modifier.
inline constexpr unsigned VK_F1 = 112;
inline constexpr unsigned VK_F2 = 113;
inline constexpr unsigned VK_F3 = 114;
inline constexpr unsigned VK_F4 = 115;
inline constexpr unsigned VK_F7 = 118;
inline constexpr unsigned VK_F8 = 119;
inline constexpr unsigned VK_F10 = 121;
struct Accelerator {
    unsigned vk;
    unsigned command;
};
std::span<const Accelerator> AcceleratorTable();

// String-table ids: the COM prefix, then the baud rates, parities and stop sizes in order.
inline constexpr int IDS_COMPREFIX = 784;
inline constexpr int IDS_BAUD9600 = 800;
inline constexpr int IDS_PARITYNONE = 816;
inline constexpr int IDS_STOPBITS1 = 832;
std::string LoadString(int id);

// Dialog layouts, positions and sizes in dialog units.
enum class ControlKind {
    Text,      // static text
    Icon,      // the program's icon
    Rule,      // black horizontal line
    Button,    // push button
    DefButton, // default push button
    GroupBox,  // frame with a caption
    DropDown,  // drop-down list (strings kept as added, not sorted)
    CheckBox,  // automatic check box
};
inline constexpr unsigned CS_RIGHT = 0x1;    // right-aligned text
inline constexpr unsigned CS_NOPREFIX = 0x2; // "&" is shown as it is
inline constexpr unsigned CS_TABSTOP = 0x4;
inline constexpr int kNoId = -1;

struct ControlTemplate {
    ControlKind kind;
    int id;
    const char* text;
    int x, y, cx, cy;
    unsigned style;
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontFace;
    int fontPoints;
    int x, y, cx, cy;
    bool modalFrame; // the About box has one; the Setup dialog has neither it nor a system menu
    std::span<const ControlTemplate> controls;
};

inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDC_ABOUT_ICON = 528;
inline constexpr int IDC_ABOUT_VERSION = 529;

inline constexpr int IDD_SETTINGS = 101;
inline constexpr int IDD_PORTCB = 544;
inline constexpr int IDD_BAUDCB = 545;
inline constexpr int IDD_AUTOWRAP = 552;
inline constexpr int IDD_HEXPRINT = 553;
inline constexpr int IDD_NEWLINE = 554;
inline constexpr int IDD_LOCALECHO = 555;
inline constexpr int IDD_MAX40 = 556;
inline constexpr int IDD_FONT = 557;
const DialogTemplate* FindDialogTemplate(int id);

} // namespace pelko
