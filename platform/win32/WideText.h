#pragma once

#include <string>

// UTF-8 text, as the program keeps it, to and from the UTF-16 of the wide-character
// Win32 calls. Ill-formed input is converted with replacement characters, never refused.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
