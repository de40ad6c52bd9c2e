#pragma once

#include <string>

// What both programs print for --version: the program's version and build from its version
// record, then the firmware package it carries (model, title, version, processor), read the
// way start-up reads it. A package that cannot be read is named as such, with the reason.
std::string VersionText(const std::string& program);
