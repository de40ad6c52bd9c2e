#include "ui/FormLayout.h"

#include <array>
#include <stdexcept>

namespace {

using K = TControlKind;
using B = TBevelShape;

const std::array kMainControls{
    TControlLayout{"Bevel1", K::Bevel, {0, 0, 409, 9}, "", -1, false, B::TopLine},
    TControlLayout{"ListBox1", K::ListBox, {8, 8, 393, 97}, "", 1},
    TControlLayout{"Button6", K::Button, {167, 112, 75, 25}, "Start", 2},
    TControlLayout{"Button1", K::Button, {328, 112, 75, 25}, "Close", 3},
    TControlLayout{"StatusBar1", K::StatusBar, {0, 145, 409, 19}},
};

const std::array kFileItems{
    TMenuItemLayout{"LoadFile1", "Load File", true, true},
    TMenuItemLayout{"CloseConnection1", "&Close Connection", false},
    TMenuItemLayout{"N1", "-"},
    TMenuItemLayout{"Exit1", "E&xit"},
};
const std::array kOptionsItems{TMenuItemLayout{"CommsPort1", "&Comms Port"}};
const std::array kHelpItems{TMenuItemLayout{"About1", "&About...."}};
const std::array kMainMenu{
    TMenuLayout{"File1", "&File", kFileItems},
    TMenuLayout{"Options1", "&Options", kOptionsItems},
    TMenuLayout{"Help1", "&Help", kHelpItems},
};

const std::array kCommSelControls{
    TControlLayout{"GroupBox1", K::GroupBox, {8, 8, 209, 89}, " Select Comms Port To Use ", 0},
    TControlLayout{"Label1", K::Label, {16, 40, 51, 13}, "Comm Port", -1, false, B::None, "GroupBox1"},
    TControlLayout{"ComboBox1", K::ComboBox, {96, 37, 89, 21}, "", 0, false, B::None, "GroupBox1"},
    TControlLayout{"Button1", K::Button, {24, 104, 75, 25}, "&Ok", 1},
    TControlLayout{"Button2", K::Button, {128, 104, 75, 25}, "&Cancel", 2, true},
};

const std::array kAboutControls{
    TControlLayout{"Image2", K::Picture, {8, 8, 321, 137}},
    TControlLayout{"Label1", K::Label, {99, 16, 222, 25}, "Label1", -1, false, B::None, nullptr, true},
    TControlLayout{"Label2", K::Label, {99, 48, 222, 13}, "Label2"},
    TControlLayout{"Label3", K::Label, {99, 80, 222, 13}, "Label3"},
    TControlLayout{"Bevel1", K::Bevel, {8, 136, 321, 17}, "", -1, false, B::BottomLine},
    TControlLayout{"Bevel2", K::Bevel, {8, 8, 81, 81}, "", -1, false, B::Box},
    TControlLayout{"Image1", K::Picture, {17, 24, 66, 52}},
    TControlLayout{"OKButton", K::Button, {136, 160, 65, 25}, "OK", 0, true},
};

const TFormLayout kMainForm{"MainForm", "Bootloader", 409, 164, kMainControls};
const TFormLayout kCommSelFrm{"CommSelFrm", "Comm Port Selection", 225, 137, kCommSelControls};
const TFormLayout kAboutBox{"AboutBox", "About....", 337, 193, kAboutControls};

}  // namespace

const TControlLayout& TFormLayout::Control(std::string_view name) const {
    for (const TControlLayout& control : Controls)
        if (name == control.Name) return control;
    throw std::out_of_range(std::string(Name) + " has no control " + std::string(name));
}

TLayoutRect TFormLayout::FormRect(std::string_view name) const {
    const TControlLayout& control = Control(name);
    TLayoutRect rect = control.Rect;
    if (control.Parent != nullptr) {
        const TLayoutRect parent = FormRect(control.Parent);
        rect.Left += parent.Left;
        rect.Top += parent.Top;
    }
    return rect;
}

const TFormLayout& MainFormLayout() {
    return kMainForm;
}

std::span<const TMenuLayout> MainMenuLayout() {
    return kMainMenu;
}

const TFormLayout& CommSelFrmLayout() {
    return kCommSelFrm;
}

std::string PortItemText(int position) {
    return "COM" + std::to_string(position + 1);
}

const TFormLayout& AboutBoxLayout() {
    return kAboutBox;
}
