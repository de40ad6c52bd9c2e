#pragma once

#include <sstream>
#include <string>
#include <vector>

// The lines of a program's output. A line's closing CR is dropped too, so output written in
// text mode on Windows (CR LF) reads the same.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The raw value of a top-level field of one JSON line of a station report: a string keeps its
// quotes ("\"completed\""), a number or null stands as written, an object or array whole.
// Empty when the line has no such field.
inline std::string ReportField(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const std::size_t start = line.find(key);
    if (start == std::string::npos) return {};
    const std::size_t from = start + key.size();
    std::size_t end = from;
    int depth = 0;
    bool quoted = false;
    for (; end < line.size(); ++end) {
        const char c = line[end];
        if (quoted) {
            if (c == '\\')
                ++end;
            else if (c == '"')
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (depth-- == 0) break;
        } else if (c == ',' && depth == 0) {
            break;
        }
    }
    return line.substr(from, end - from);
}
