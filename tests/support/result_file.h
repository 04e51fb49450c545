// Reading the console and the result file of a complete run.
#pragma once

#include <string>
#include <vector>

struct ResultFileParts {
    std::string method_line, sizes_line, timing_line;  // each with its line end
    std::string body;                                  // from "  Pi = 3. " to the end
    std::string decimals;                              // the digits of the body's groups
};

// Splits a result file into its lines and its body; the decimals are taken from the groups
// of ten digits after each line's label. Returns false when the file has another shape.
bool split_result_file(const std::string& file, ResultFileParts* parts);

// The body of a result file for these decimals: "  Pi = 3. ", then per 80 decimals a line
// break, the label of its first decimal in 8 columns, and groups of ten.
std::string result_body(const std::string& decimals);

struct ProgressLine {
    int x, steps;
};
// The progress lines "  ATAN(1/%6d),  DRM Step=%3d,  Time=%8.2f (s)\n" of a console, in
// order; a line of that start but another shape makes `malformed` true.
std::vector<ProgressLine> progress_lines(const std::string& console, bool* malformed);

// True when the line is "  Total Time= %f (s)  Rounding Error= %e \n" with a three-digit
// exponent.
bool is_timing_line(const std::string& line);
// The rounding error printed in a timing line.
double timing_line_error(const std::string& line);
