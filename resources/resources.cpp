#include "resources/resources.h"

#include "platform/window.h"
#include "resources/commands.h"

namespace pelko {

namespace {

constexpr MenuItem kFileMenu[] = {
    {"&Select Source\tF2", IDM_SELECTSOURCE, {}}, {nullptr, 0, {}}, {"&Connect", IDM_CONNECT, {}},
    {"&Disconnect", IDM_DISCONNECT, {}},          {nullptr, 0, {}}, {"E&xit", IDM_EXIT, {}},
};
constexpr MenuItem kUploadMenu[] = {
    {"&Upload Fast\tF3", IDM_UPLOADFAST, {}},
    {"&Upload Visible\tF4", IDM_UPLOADVISIBLE, {}},
};
constexpr MenuItem kSetupMenu[] = {
    {"&Terminal\tF10", IDM_SETUP, {}},
    {"&Save Setup", IDM_SAVESETUP, {}},
};
// Pelko's own commands, in a menu after the others.
constexpr MenuItem kTargetMenu[] = {
    {"&Reset Target\tF7", IDM_RESETTARGET, {}},
    {"Send &BREAK\tF8", IDM_SENDBREAK, {}},
};
constexpr MenuItem kMenuBar[] = {
    {"&File", 0, kFileMenu},   {"&Upload", 0, kUploadMenu}, {"&Setup", 0, kSetupMenu},
    {"&About", IDM_ABOUT, {}}, {"&Target", 0, kTargetMenu},
};

constexpr Accelerator kAccelerators[] = {
    {VK_F1, IDM_ABOUT},         {VK_F2, IDM_SELECTSOURCE}, {VK_F3, IDM_UPLOADFAST},
    {VK_F4, IDM_UPLOADVISIBLE}, {VK_F10, IDM_SETUP},       {VK_F7, IDM_RESETTARGET},
    {VK_F8, IDM_SENDBREAK},
};

struct StringEntry {
    int id;
    const char* text;
};
constexpr StringEntry kStrings[] = {
    {IDS_COMPREFIX, "COM"},
    {IDS_BAUD9600, "9600"},
    {801, "19.2k"},
    {802, "38.4k"},
    {803, "57.6k"},
    {804, "115.2k"},
    {IDS_PARITYNONE, "None"},
    {817, "Even"},
    {818, "Odd"},
    {819, "Mark"},
    {820, "Space"},
    {IDS_STOPBITS1, "1"},
    {833, "1.5"},
    {834, "2"},
};

using K = ControlKind;
constexpr unsigned NP = CS_NOPREFIX;

constexpr ControlTemplate kAboutControls[] = {
    {K::Icon, IDC_ABOUT_ICON, nullptr, 10, 5, 18, 20, 0},
    {K::Text, IDC_ABOUT_VERSION, "Pelko v 3.1 Terminal for Zemra", 45, 5, 127, 10, NP},
    {K::Rule, kNoId, nullptr, 45, 25, 260, 1, 0},
    {K::DefButton, platform::IDOK, "OK", 177, 5, 40, 14, CS_TABSTOP},
    {K::Text, kNoId,
     "Source code can be loaded to 'Zemra' for compilation as well as for immediate execution.", 20,
     35, 300, 10, NP},
    {K::Text, kNoId,
     "After processing the menu item 'Select Source': nothing happens immediately -", 20, 45, 280,
     10, NP},
    {K::Text, kNoId, "file is simply selected and prepared for upload.", 20, 55, 280, 10, NP},
    {K::Text, kNoId, "'Pelko' uses a special handshake protocol for automatic timing of upload.",
     20, 68, 280, 10, NP},
    {K::Text, kNoId,
     "The loading process may hang up when the 'Zemra' microcontroller is not responding.", 20, 78,
     280, 10, NP},
    {K::Text, kNoId,
     "Then reset or power up the microcontroller - in worst case kill the 'Pelko' task.", 20, 88,
     280, 10, NP},
    {K::Text, kNoId, "Source Loader Directives: (to build complex programs step by step)", 20, 100,
     280, 10, NP},
    {K::Text, kNoId, "\\ ### : suppress loading subsequent source to 'Zemra", 30, 110, 280, 10, NP},
    {K::Text, kNoId, "\\ >>> : continue loading source to 'Zemra'", 30, 120, 280, 10, NP},
    {K::Text, kNoId, "\\ kkk : pause source loading until any key is pressed", 30, 130, 280, 10,
     NP},
    {K::Text, kNoId, "When doing 'Save Setup' at 'Connected' state: check carefully that", 20, 145,
     280, 10, NP},
    {K::Text, kNoId, "changes of parameters are effective before you save them.", 20, 155, 280, 10,
     NP},
    {K::Rule, kNoId, nullptr, 15, 175, 290, 1, 0},
    {K::Text, kNoId, "", 20, 180, 280, 10, NP},
};

constexpr ControlTemplate kSetupControls[] = {
    {K::GroupBox, kNoId, "&Terminal:", 5, 5, 115, 130, 0},
    {K::Text, kNoId, "&Port:", 10, 20, 40, 10, CS_RIGHT},
    {K::DropDown, IDD_PORTCB, nullptr, 55, 20, 55, 35, CS_TABSTOP},
    {K::Text, kNoId, "&Baud Rate:", 10, 35, 40, 10, CS_RIGHT},
    {K::DropDown, IDD_BAUDCB, nullptr, 55, 35, 55, 35, CS_TABSTOP},
    {K::Text, kNoId, "Fixed:", 31, 65, 45, 10, 0},
    {K::Text, kNoId, "-- 8 Data Bits", 55, 65, 45, 10, 0},
    {K::Text, kNoId, "-- No Parity", 55, 80, 40, 10, 0},
    {K::Text, kNoId, "-- 1 Stop Bit", 55, 95, 40, 10, 0},
    {K::Text, kNoId, "-- No Handshake", 55, 110, 55, 10, 0},
    {K::GroupBox, kNoId, "&Display Options:", 125, 5, 70, 70, 0},
    {K::CheckBox, IDD_NEWLINE, "New Line", 135, 20, 50, 10, 0},
    {K::CheckBox, IDD_AUTOWRAP, "Autowrap", 135, 30, 50, 10, CS_TABSTOP},
    {K::CheckBox, IDD_MAX40, "Max.40", 135, 40, 50, 10, 0},
    {K::CheckBox, IDD_HEXPRINT, "HEXprint", 135, 50, 50, 10, 0},
    {K::CheckBox, IDD_LOCALECHO, "Local Echo", 135, 60, 50, 10, 0},
    {K::Button, IDD_FONT, "&Font", 140, 80, 40, 14, CS_TABSTOP},
    {K::DefButton, platform::IDOK, "Ok", 140, 100, 40, 14, CS_TABSTOP},
    {K::Button, platform::IDCANCEL, "Cancel", 140, 120, 40, 14, CS_TABSTOP},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_ABOUT, "Pelko for Zemra", "Helv", 8, 25, 25, 320, 200, true, kAboutControls},
    {IDD_SETTINGS, "Setup", "Helv", 8, 25, 20, 200, 140, false, kSetupControls},
};

} // namespace

std::span<const MenuItem> MenuBar() {
    return kMenuBar;
}

std::span<const Accelerator> AcceleratorTable() {
    return kAccelerators;
}

std::string LoadString(int id) {
    for (const StringEntry& s : kStrings) {
        if (s.id == id) {
            return s.text;
        }
    }
    return {};
}

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& d : kDialogs) {
        if (d.id == id) {
            return &d;
        }
    }
    return nullptr;
}

} // namespace pelko
