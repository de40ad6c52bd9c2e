#include "platform/IniFile.h"

#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/IniWriteError.h"
#include "platform/StrToInt.h"

namespace {

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

enum class TLineKind { Blank, Comment, Section, Key, Other };

struct TLine {
    std::string_view Text;        // the line without its line end
    std::string_view Terminator;  // "\r\n", "\n" or "" for a last line without one
    TLineKind Kind = TLineKind::Other;
    std::string_view Name;   // section or key name
    std::string_view Value;  // key value
};

std::vector<TLine> SplitLines(std::string_view content) {
    std::vector<TLine> lines;
    while (!content.empty()) {
        TLine line;
        std::size_t end = content.find('\n');
        std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
        std::size_t textEnd = end == std::string_view::npos ? content.size() : end;
        if (textEnd > 0 && content[textEnd - 1] == '\r' && end != std::string_view::npos) --textEnd;
        line.Text = content.substr(0, textEnd);
        line.Terminator = content.substr(textEnd, next - textEnd);
        content.remove_prefix(next);

        std::string_view trimmed = Trim(line.Text);
        if (trimmed.empty()) {
            line.Kind = TLineKind::Blank;
        } else if (trimmed[0] == ';' || trimmed[0] == '#') {
            line.Kind = TLineKind::Comment;
        } else if (trimmed[0] == '[') {
            line.Kind = TLineKind::Section;
            std::string_view inner = trimmed.substr(1);
            line.Name = Trim(inner.substr(0, inner.find(']')));
        } else if (std::size_t eq = trimmed.find('='); eq != std::string_view::npos) {
            line.Kind = TLineKind::Key;
            line.Name = Trim(trimmed.substr(0, eq));
            line.Value = Trim(trimmed.substr(eq + 1));
        }
        lines.push_back(line);
    }
    return lines;
}

struct TLookup {
    std::optional<std::size_t> KeyLine;      // the first matching key line
    std::optional<std::size_t> SectionLine;  // the first matching section header
    std::size_t SectionEnd = 0;              // one past the last non-blank line of that section
};

TLookup Find(const std::vector<TLine>& lines, std::string_view section, std::string_view key) {
    TLookup found;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TLine& line = lines[i];
        if (line.Kind == TLineKind::Section) {
            inSection = SameName(line.Name, section);
            inFirstSection = inSection && !found.SectionLine;
            if (inFirstSection) {
                found.SectionLine = i;
                found.SectionEnd = i + 1;
            }
            continue;
        }
        if (inFirstSection && line.Kind != TLineKind::Blank) found.SectionEnd = i + 1;
        if (inSection && line.Kind == TLineKind::Key && SameName(line.Name, key)) {
            found.KeyLine = i;
            return found;
        }
    }
    return found;
}

void CheckStorable(const std::string& section, const std::string& key, const std::string& value) {
    auto hasLineBreak = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
    std::string_view trimmedSection = Trim(section), trimmedKey = Trim(key);
    if (trimmedSection.empty() || hasLineBreak(section) || section.find(']') != std::string::npos)
        throw std::invalid_argument("Settings section name cannot be stored: '" + section + "'");
    if (trimmedKey.empty() || hasLineBreak(key) || key.find('=') != std::string::npos ||
        trimmedKey[0] == '[' || trimmedKey[0] == ';' || trimmedKey[0] == '#')
        throw std::invalid_argument("Settings key name cannot be stored: '" + key + "'");
    if (hasLineBreak(value))
        throw std::invalid_argument("Settings value of " + key + " contains a line break");
}

}  // namespace

TIniFile::TIniFile(const std::string& path) {
    fileName_ = AbsolutePath(path);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    std::string content;
    if (ReadFileBytes(fileName_, content) != TFileReadOutcome::Read) return defaultValue;
    std::vector<TLine> lines = SplitLines(content);
    TLookup found = Find(lines, Trim(section), Trim(key));
    if (!found.KeyLine) return defaultValue;
    return std::string(lines[*found.KeyLine].Value.substr(0, MaxValueLength));
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue) const {
    return IntegerFromText(ReadString(section, key, ""), defaultValue);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    CheckStorable(section, key, value);
    const std::string failure = "Unable to write to " + fileName_;

    std::string content;
    switch (ReadFileBytes(fileName_, content)) {
        case TFileReadOutcome::Failed:
            throw EIniWriteError(failure);
        case TFileReadOutcome::Missing:
            content.clear();
            break;
        case TFileReadOutcome::Read:
            break;
    }

    const std::vector<TLine> lines = SplitLines(content);
    const TLookup found = Find(lines, Trim(section), Trim(key));
    auto keyLine = [&](std::string_view name) { return std::string(name) + "=" + value + "\r\n"; };

    std::string updated;
    updated.reserve(content.size() + key.size() + value.size() + section.size() + 8);
    auto appendLine = [&](const TLine& line) {
        updated.append(line.Text);
        updated.append(line.Terminator);
    };
    if (found.KeyLine) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i == *found.KeyLine)
                updated += keyLine(lines[i].Name);
            else
                appendLine(lines[i]);
        }
    } else if (found.SectionLine) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            appendLine(lines[i]);
            if (i + 1 == found.SectionEnd) {
                if (lines[i].Terminator.empty()) updated += "\r\n";
                updated += keyLine(Trim(key));
            }
        }
    } else {
        updated = content;
        if (!updated.empty()) {
            if (updated.back() != '\n') updated += "\r\n";
            if (lines.back().Kind != TLineKind::Blank) updated += "\r\n";
        }
        updated += "[" + std::string(Trim(section)) + "]\r\n" + keyLine(Trim(key));
    }

    if (!ReplaceFileContent(fileName_, updated)) throw EIniWriteError(failure);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

std::int32_t TIniFile::IntegerFromText(const std::string& text, std::int32_t defaultValue) {
    if (text.size() > 2 && (text.starts_with("0x") || text.starts_with("0X")))
        return StrToIntDef("$" + text.substr(2), defaultValue);
    return StrToIntDef(text, defaultValue);
}
