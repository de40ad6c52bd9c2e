#pragma once

#include <span>
#include <string>
#include <string_view>

// What the desktop program's windows show, written once for both faces (Qt Widgets on
// Linux, native windows on Windows): captions, client sizes, each control's name, kind,
// rectangle, text and tab position, and the main menu. Rectangles are in pixels at 96
// dots per inch, relative to the client area of the control's parent (the form, or the
// control named as Parent). A face scales them to its screen and draws the controls its
// own way; it never restates them.

enum class TControlKind { Bevel, ListBox, Button, StatusBar, GroupBox, Label, ComboBox, Edit, Picture };

// A bevel is a lowered box or a single line along one edge of its rectangle.
enum class TBevelShape { None, Box, TopLine, BottomLine };

struct TLayoutRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

struct TControlLayout {
    const char* Name;
    TControlKind Kind;
    TLayoutRect Rect;
    // Design text; "&" marks the underlined access letter of a button.
    const char* Text = "";
    // Position in the tab order, -1 for none. A group box's position is that of the
    // controls inside it.
    int TabPosition = -1;
    // The button that the Enter key presses.
    bool Default = false;
    TBevelShape Shape = TBevelShape::None;
    // The control this one lies inside (its rectangle is relative to that control), or null.
    const char* Parent = nullptr;
    // A label that wraps long texts onto more lines and grows downwards to show them; any
    // other label is sized to its text.
    bool WordWrap = false;
};

struct TFormLayout {
    const char* Name;
    // Design caption; the main window's is replaced by the application title at start-up.
    const char* Caption;
    int ClientWidth;
    // The client area below the menu bar, when the form has one.
    int ClientHeight;
    std::span<const TControlLayout> Controls;

    // The control of that name; throws std::out_of_range for a name the form lacks.
    const TControlLayout& Control(std::string_view name) const;
    // The control's rectangle in the form's client coordinates (parents' offsets added).
    TLayoutRect FormRect(std::string_view name) const;
};

struct TMenuItemLayout {
    const char* Name;
    // "-" is a separator.
    const char* Text;
    bool Enabled = true;
    // Shown only when the program is asked to (File, Load File).
    bool HiddenByDefault = false;
};

struct TMenuLayout {
    const char* Name;
    const char* Text;
    std::span<const TMenuItemLayout> Items;
};

// The form font: family and size in points, and its height in pixels at 96 dpi.
inline constexpr const char* kFormFontFamily = "MS Sans Serif";
inline constexpr int kFormFontPoints = 8;

// The main window (MainForm), its status bar's panels and the operator log's line height.
const TFormLayout& MainFormLayout();
std::span<const TMenuLayout> MainMenuLayout();
inline constexpr int kStatusPanelWidths[2] = {150, 50};
inline constexpr int kListItemHeight = 13;
// Shown beside the status panels from the moment a close is asked for during an upgrade
// step until the window closes.
inline constexpr const char* kClosingNote = "Closing when this step ends...";

// The port selection dialog (CommSelFrm): ComboBox1 lists kPortCount ports, item
// position p standing for port number p + 1.
const TFormLayout& CommSelFrmLayout();
inline constexpr int kPortCount = 32;
std::string PortItemText(int position);

// The about box (AboutBox), controls listed from the bottom of the drawing order up.
const TFormLayout& AboutBoxLayout();

// The text-input boxes of Load File: caption and prompt of each.
struct TInputPrompt {
    const char* Caption;
    const char* Prompt;
};
inline constexpr TInputPrompt kProcessorPrompt{"Enter Processor No.", "Processor No."};
inline constexpr TInputPrompt kModelPrompt{"Enter VX No.", "VX No."};
