#include "tests/support/result_file.h"

#include <cstdio>
#include <regex>

namespace {

bool take_line(const std::string& file, size_t* pos, std::string* line) {
    const size_t end = file.find('\n', *pos);
    if (end == std::string::npos) return false;
    *line = file.substr(*pos, end + 1 - *pos);
    *pos = end + 1;
    return true;
}

}  // namespace

bool split_result_file(const std::string& file, ResultFileParts* parts) {
    size_t pos = 0;
    if (!take_line(file, &pos, &parts->method_line) || !take_line(file, &pos, &parts->sizes_line) ||
        !take_line(file, &pos, &parts->timing_line))
        return false;
    parts->body = file.substr(pos);
    static const std::regex line_re(R"(\n {1,8}\d{1,8}((?: \d{10})+))");
    if (parts->body.compare(0, 10, "  Pi = 3. ") != 0) return false;
    parts->decimals.clear();
    const std::string lines = parts->body.substr(10);
    for (std::sregex_iterator it(lines.begin(), lines.end(), line_re), end; it != end; ++it) {
        for (char c : it->str(1))
            if (c != ' ') parts->decimals += c;
    }
    return true;
}

std::string result_body(const std::string& decimals) {
    std::string body = "  Pi = 3. ";
    char label[32];
    for (size_t i = 0; i < decimals.size(); i += 10) {
        if (i % 80 == 0) {
            std::snprintf(label, sizeof label, "\n %8zu", i + 1);
            body += label;
        }
        body += " " + decimals.substr(i, 10);
    }
    return body;
}

std::vector<ProgressLine> progress_lines(const std::string& console, bool* malformed) {
    static const std::regex line_re(
        R"(  ATAN\(1/( *\d+)\),  DRM Step=( *\d+),  Time=( *\d+\.\d\d) \(s\)\n)");
    std::vector<ProgressLine> lines;
    *malformed = false;
    size_t pos = 0;
    for (size_t at; (at = console.find("  ATAN(", pos)) != std::string::npos;) {
        const size_t end = console.find('\n', at);
        const std::string line = console.substr(at, end == std::string::npos ? end : end + 1 - at);
        std::smatch m;
        if (!std::regex_match(line, m, line_re) || m.str(1).size() != 6 || m.str(2).size() != 3 ||
            m.str(3).size() != 8) {
            *malformed = true;
        } else {
            lines.push_back({std::stoi(m.str(1)), std::stoi(m.str(2))});
        }
        pos = at + 1;
    }
    return lines;
}

bool is_timing_line(const std::string& line) {
    static const std::regex re(
        R"(  Total Time= \d+\.\d{6} \(s\)  Rounding Error= \d\.\d{6}e[+-]\d{3} \n)");
    return std::regex_match(line, re);
}

double timing_line_error(const std::string& line) {
    const size_t at = line.find("Error= ");
    return at == std::string::npos ? -1.0 : std::stod(line.substr(at + 7));
}
