#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One value at a time, by section and key, in an INI-style text file:
//
//   [Section]
//   Key=Value
//
// Every call reads the file afresh; nothing is cached.
//
// Reading: section and key names match without regard to ASCII letter case; blanks and tabs
// around names and values are ignored. Lines starting with ';' or '#' are comments. When a
// section or a key occurs more than once, the first key line in file order among all sections
// of that name is the one read (and the one a write replaces). A value is read as at most
// MaxValueLength characters. A missing or unreadable file reads as empty.
//
// Writing: the key's line is replaced in place ("Key=Value" CRLF, keeping the key's spelling
// in the file); every other line is kept byte for byte, with its own line end. A missing key is
// added after the last non-blank line of the first section of that name; a missing section is
// added at the end of the file; a missing file is created. The new content goes to a temporary
// file beside the original, which then replaces it by rename, so a failed write never leaves a
// shortened or mixed file behind (a symbolic link in the file's place becomes a regular file).
// A file written from nothing holds exactly "[Section]" CRLF "Key=Value" CRLF.
class TIniFile {
public:
    static constexpr std::size_t MaxValueLength = 2047;

    // A relative path is made absolute against the current directory now, so the object keeps
    // naming the same file when the working directory changes later.
    explicit TIniFile(const std::string& path);

    // Full path of the file.
    const std::string& FileName() const { return fileName_; }

    // The value, or defaultValue when the file, the section or the key is missing.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;

    // The value converted by IntegerFromText; defaultValue when missing, empty or not a number.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;

    // Throws EIniWriteError "Unable to write to <full path>" when the file cannot be written or
    // an existing file cannot be read (rewriting it would lose its content). Throws
    // std::invalid_argument for a name or value that cannot be stored on one line (a line
    // break anywhere, '=' in the key, ']' in the section, an empty key or section).
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // Writes the value in decimal, with a leading "-" when negative.
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);

    // Integer reading rule of stored values: a text longer than 2 characters that starts with
    // "0x" or "0X" is hexadecimal after those two characters; the text is then converted by
    // StrToIntDef, so an empty text or one that does not convert gives defaultValue.
    static std::int32_t IntegerFromText(const std::string& text, std::int32_t defaultValue);

private:
    std::string fileName_;
};
