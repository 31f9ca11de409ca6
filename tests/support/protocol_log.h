// A viewer's Wayland protocol log (WAYLAND_DEBUG=client), read line by line. libwayland names an
// object interface@id up to 1.22 and interface#id from 1.23; both are read as interface@id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The lines that match a pattern: each line's number (from 0) and the match's groups (0: the
// whole match).
struct LogMatch {
    std::size_t line;
    std::vector<std::string> groups;
};
std::vector<LogMatch> MatchLog(const std::string& log, const std::string& pattern);
// The last match of the pattern before line `before`; its groups "none" when there is none.
LogMatch LastMatch(const std::string& log, const std::string& pattern,
                   std::size_t before = SIZE_MAX);
