// Deep-zoom locations as their users exchange them: a centre, a zoom and an
// iteration count, in one of the text formats other deep-zoom programs save.
//
//   key-value lines   "Re: -0.75", "Im: 0.1", "Zoom: 1e50", "Iterations: 1000"
//                     (keys as written, case and all: such files also carry
//                     unrelated "real: 1" and "imag: 1" lines)
//   flat TOML         real = "-0.75", imag = "0.1", zoom = "1e50", iterations = 1000
//   nested TOML       [location] real, imag, zoom (and depth = iterations);
//                     [bailout] iterations; dotted keys ("location.real")
//                     stand for their tables' keys
//
// The format is chosen by the first line that is neither blank nor a "#"
// comment: a "[" or a "=" before any ":" means TOML. The texts of re, im and
// zoom are kept as the file gives them (values in quotes without the quotes,
// every value without the blanks around it); ReadLongNumber and the view
// check their numbers, so a location reads the same here on every platform.
// The zoom is the file's: the image's shorter side spans 4 / zoom.
//
// Accepted quietly: a UTF-8 byte order mark, CRLF line ends, blank lines,
// "#" comments in TOML, keys of no meaning here (listed in ignoredKeys, in
// the file's order, each once; TOML keys of a table as "table.key") and TOML
// values spread over lines in brackets or triple quotes. Refused, with the
// line's number: a line that is no key and value of the file's format, a
// meaningful key given twice, an empty value, an iteration count that is not
// a whole number from 1 to INT32_MAX - 1; without a line: a missing re, im
// or zoom.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Location {
    std::string re;
    std::string im;
    std::string zoom;
    int64_t iterations = -1;  // -1: the location gives none
    std::vector<std::string> ignoredKeys;
};

// Files larger than this are no location anybody saved by hand or by program.
inline constexpr uint64_t kMaxLocationFileBytes = 1u << 20;

// Reads a location. False with a one-line reason (out is then unspecified).
bool ReadLocation(const std::string& text, Location& out, std::string& error);

// The same for a file, refusing files that cannot be read or that are larger
// than kMaxLocationFileBytes; the reason names the path.
bool ReadLocationFile(const std::string& path, Location& out, std::string& error);
