#pragma once

#include <string>

// Dialog types of ErrorBox, each with its own sound, caption and icon.
enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };

// The caption of a box of the type, the same in both faces: "Warning", "Error", "Information"
// or "Confirm"; empty for Custom, whose caption is the application title.
std::string DialogTypeCaption(TMsgDlgType type);
