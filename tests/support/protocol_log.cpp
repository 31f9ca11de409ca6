#include "support/protocol_log.h"

#include <cctype>
#include <regex>
#include <sstream>

std::vector<LogMatch> MatchLog(const std::string& log, const std::string& pattern) {
    const std::regex wanted(pattern);
    std::vector<LogMatch> matches;
    std::istringstream lines(log);
    std::string line;
    for (std::size_t number = 0; std::getline(lines, line); ++number) {
        for (std::size_t at = line.find('#'); at != std::string::npos;
             at = line.find('#', at + 1)) {
            if (at > 0 &&
                (std::isalnum(static_cast<unsigned char>(line[at - 1])) || line[at - 1] == '_') &&
                at + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[at + 1]))) {
                line[at] = '@';
            }
        }
        std::smatch match;
        if (std::regex_search(line, match, wanted)) {
            matches.push_back({number, std::vector<std::string>(match.begin(), match.end())});
        }
    }
    return matches;
}
