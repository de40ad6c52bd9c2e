#include "ui/FormLayout.h"

#include <array>
#include <stdexcept>

namespace {

using K = TControlKind;
using B = TBevelShape;

const std::array kMainControls{
    TControlSpec{"Bevel1", K::Bevel, {0, 0, 409, 9}, "", -1, false, B::TopLine},
    TControlSpec{"ListBox1", K::ListBox, {8, 8, 393, 97}, "", 1},
    TControlSpec{"Button6", K::Button, {167, 112, 75, 25}, "Start", 2},
    TControlSpec{"Button1", K::Button, {328, 112, 75, 25}, "Close", 3},
    TControlSpec{"StatusBar1", K::StatusBar, {0, 145, 409, 19}},
};

const std::array kFileItems{
    TMenuItemSpec{"LoadFile1", "Load File", true, true},
    TMenuItemSpec{"CloseConnection1", "&Close Connection", false},
    TMenuItemSpec{"N1", "-"},
    TMenuItemSpec{"Exit1", "E&xit"},
};
const std::array kOptionsItems{TMenuItemSpec{"CommsPort1", "&Comms Port"}};
const std::array kHelpItems{TMenuItemSpec{"About1", "&About...."}};
const std::array kMainMenu{
    TMenuSpec{"File1", "&File", kFileItems},
    TMenuSpec{"Options1", "&Options", kOptionsItems},
    TMenuSpec{"Help1", "&Help", kHelpItems},
};

const std::array kCommSelControls{
    TControlSpec{"GroupBox1", K::GroupBox, {8, 8, 209, 89}, " Select Comms Port To Use ", 0},
    TControlSpec{"Label1", K::Label, {16, 40, 51, 13}, "Comm Port", -1, false, B::None, "GroupBox1"},
    TControlSpec{"ComboBox1", K::ComboBox, {96, 37, 89, 21}, "", 0, false, B::None, "GroupBox1"},
    TControlSpec{"Button1", K::Button, {24, 104, 75, 25}, "&Ok", 1},
    TControlSpec{"Button2", K::Button, {128, 104, 75, 25}, "&Cancel", 2, true},
};

const std::array kAboutControls{
    TControlSpec{"Image2", K::Picture, {8, 8, 321, 137}},
    TControlSpec{"Label1", K::Label, {99, 16, 222, 25}, "Label1", -1, false, B::None, nullptr, true},
    TControlSpec{"Label2", K::Label, {99, 48, 222, 13}, "Label2"},
    TControlSpec{"Label3", K::Label, {99, 80, 222, 13}, "Label3"},
    TControlSpec{"Bevel1", K::Bevel, {8, 136, 321, 17}, "", -1, false, B::BottomLine},
    TControlSpec{"Bevel2", K::Bevel, {8, 8, 81, 81}, "", -1, false, B::Box},
    TControlSpec{"Image1", K::Picture, {17, 24, 66, 52}},
    TControlSpec{"OKButton", K::Button, {136, 160, 65, 25}, "OK", 0, true},
};

const TFormSpec kMainForm{"MainForm", "Bootloader", 409, 164, kMainControls};
const TFormSpec kCommSelFrm{"CommSelFrm", "Comm Port Selection", 225, 137, kCommSelControls};
const TFormSpec kAboutBox{"AboutBox", "About....", 337, 193, kAboutControls};

}  // namespace

const TControlSpec& TFormSpec::Control(std::string_view name) const {
    for (const TControlSpec& control : Controls)
        if (name == control.Name) return control;
    throw std::out_of_range(std::string(Name) + " has no control " + std::string(name));
}

TLayoutRect TFormSpec::FormRect(std::string_view name) const {
    const TControlSpec& control = Control(name);
    TLayoutRect rect = control.Rect;
    if (control.Parent != nullptr) {
        const TLayoutRect parent = FormRect(control.Parent);
        rect.Left += parent.Left;
        rect.Top += parent.Top;
    }
    return rect;
}

const TFormSpec& MainFormSpec() {
    return kMainForm;
}

std::span<const TMenuSpec> MainMenuSpec() {
    return kMainMenu;
}

const TFormSpec& CommSelFrmSpec() {
    return kCommSelFrm;
}

std::string PortItemText(int position) {
    return "COM" + std::to_string(position + 1);
}

const TFormSpec& AboutBoxSpec() {
    return kAboutBox;
}
