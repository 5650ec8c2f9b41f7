// The command lines of quillrun and quillrun-sim: a table of long options
// parsed with getopt_long, with --help and --version built in. A program
// adds a row per option; nothing else needs to change.
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <vector>

struct CommandOption {
    const char* name;       // long name without the dashes
    const char* valueName;  // e.g. "DIR"; nullptr for an option without a value
    const char* help;       // one line for --help
    // Takes the option's value ("" for one without); returns an error text,
    // or "" when the value is good.
    std::function<std::string(const std::string& value)> apply;
    char shortName = 0;     // a one-letter form, rarely needed ('h' is --help)
};

struct CommandLine {
    std::string program;   // name in messages, e.g. "quillrun"
    std::string synopsis;  // the usage line after the program name
    std::vector<CommandOption> options;
};

// Parses the arguments. --help (or -h) prints the usage and the options' help and
// exits 0; --version prints "<program> <version>" and exits 0. An unknown
// option, a missing value, a value refused by its `apply`, or a word that is
// not an option: one line "<program>: <what>" on standard error, exit 2.
void ParseCommandLine(const CommandLine& line, int argc, char** argv);

// The program's version, from the build.
const char* ProgramVersion();

// "" when `text` is a whole number from `low` to `high` (then in *out), else
// an error text naming the option.
std::string ReadWholeNumber(const std::string& text, const char* option, int low, int high, int* out);

// "" when `path` is an existing folder, else an error text naming the option.
std::string RequireFolder(const std::string& option, const std::string& path);
