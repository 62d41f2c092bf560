#pragma once

// Reading a written settings file back as lines, and the file the panel writes from scratch with every
// value at its default, section by section in the save order.

#include <sstream>
#include <string>
#include <vector>

// The non-blank lines of a file, without line ends (LF or CR LF).
inline std::vector<std::string> NonBlankLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

inline const std::vector<std::string> kDefaultSettingsFileLines = {"[IMAGE]",
                                                                   "Quality=75",
                                                                   "[WWW]",
                                                                   "Port=80",
                                                                   "Realm=ORV QV Server",
                                                                   "User=",
                                                                   "Pass=",
                                                                   "Authenticate=no",
                                                                   "Run=no",
                                                                   "[QV]",
                                                                   "EnableClick=yes",
                                                                   "Priority=1",
                                                                   "MinRemake=3",
                                                                   "ScaleDwonImage=no",
                                                                   "DrawTime=yes",
                                                                   "ResolveHostname=yes",
                                                                   "[TARGET]",
                                                                   "Desktop=yes",
                                                                   "WinClass="};
