#include "support/protocol_log.h"

#include <regex>
#include <sstream>

std::vector<LogMatch> MatchLog(const std::string& log, const std::string& pattern) {
    const std::regex wanted(pattern);
    std::vector<LogMatch> matches;
    // interface#id as interface@id: a # between a name and a digit.
    std::istringstream lines(
        std::regex_replace(log, std::regex(R"(([A-Za-z0-9_])#(?=\d))"), "$1@"));
    std::string line;
    for (std::size_t number = 0; std::getline(lines, line); ++number) {
        std::smatch match;
        if (std::regex_search(line, match, wanted)) {
            matches.push_back({number, std::vector<std::string>(match.begin(), match.end())});
        }
    }
    return matches;
}

LogMatch LastMatch(const std::string& log, const std::string& pattern, std::size_t before) {
    LogMatch found = {0, {"", "none", "none", "none"}};
    for (const LogMatch& match : MatchLog(log, pattern)) {
        found = match.line < before ? match : found;
    }
    return found;
}
