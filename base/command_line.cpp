// Parsing a command line against a table of long options with getopt_long.
// SPDX-License-Identifier: MIT
#include "base/command_line.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/regular_file.h"

#ifndef QUILLRUN_VERSION
#define QUILLRUN_VERSION "unknown"
#endif

namespace {

[[noreturn]] void Refuse(const CommandLine& line, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", line.program.c_str(), what.c_str());
    std::exit(2);
}

void PrintHelp(const CommandLine& line) {
    std::printf("usage: %s %s\n\noptions:\n", line.program.c_str(), line.synopsis.c_str());
    auto row = [](const std::string& left, const char* help) {
        std::printf("  %-22s %s\n", left.c_str(), help);
    };
    for (const CommandOption& o : line.options) {
        std::string left = std::string("--") + o.name;
        if (o.valueName != nullptr) left += std::string(" ") + o.valueName;
        row(left, o.help);
    }
    row("--help", "show this help and exit");
    row("--version", "show the version and exit");
}

}  // namespace

const char* ProgramVersion() { return QUILLRUN_VERSION; }

std::string ReadWholeNumber(const std::string& text, const char* option, int low, int high, int* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < low || v > high)
        return std::string(option) + " needs a whole number from " + std::to_string(low) + " to " +
               std::to_string(high);
    *out = static_cast<int>(v);
    return "";
}

std::string RequireFolder(const std::string& option, const std::string& path) {
    if (path.empty()) return "--" + option + " needs a folder";
    if (!IsFolder(path)) return "--" + option + ": no folder '" + path + "'";
    return "";
}

void ParseCommandLine(const CommandLine& line, int argc, char** argv) {
    // Values above the table's indices stand for the built-in options.
    const int helpIndex = static_cast<int>(line.options.size());
    const int versionIndex = helpIndex + 1;
    std::vector<option> table;
    std::string shortOptions = "+:h";  // stop at the first non-option; report missing values; -h is --help
    for (size_t i = 0; i < line.options.size(); ++i) {
        const CommandOption& o = line.options[i];
        table.push_back({o.name, o.valueName != nullptr ? required_argument : no_argument, nullptr,
                         static_cast<int>(i) + 256});
        if (o.shortName != 0) {
            shortOptions += o.shortName;
            if (o.valueName != nullptr) shortOptions += ':';
        }
    }
    table.push_back({"help", no_argument, nullptr, helpIndex + 256});
    table.push_back({"version", no_argument, nullptr, versionIndex + 256});
    table.push_back({nullptr, 0, nullptr, 0});

    opterr = 0;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, shortOptions.c_str(), table.data(), nullptr)) != -1) {
        const std::string given = argv[optind - 1] != nullptr ? argv[optind - 1] : "";
        if (c == ':') Refuse(line, given + " needs a value");
        if (c == '?') {
            if (optopt != 0 && given.compare(0, 2, "--") != 0)
                Refuse(line, std::string("unknown option '-") + static_cast<char>(optopt) + "'");
            Refuse(line, "unknown option or unwanted value '" + given + "'; see --help");
        }
        int index = c == 'h' ? helpIndex : c - 256;
        if (c < 256 && c != 'h') {  // a one-letter form
            for (size_t i = 0; i < line.options.size(); ++i)
                if (line.options[i].shortName == c) index = static_cast<int>(i);
        }
        if (index == helpIndex) {
            PrintHelp(line);
            std::exit(0);
        }
        if (index == versionIndex) {
            std::printf("%s %s\n", line.program.c_str(), ProgramVersion());
            std::exit(0);
        }
        const CommandOption& o = line.options[static_cast<size_t>(index)];
        const std::string error = o.apply(o.valueName != nullptr && optarg != nullptr ? optarg : "");
        if (!error.empty()) Refuse(line, error);
    }
    if (optind < argc) Refuse(line, std::string("unexpected argument '") + argv[optind] + "'; see --help");
}
