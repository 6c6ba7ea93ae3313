#pragma once

#include <string>
#include <vector>

// The uninstaller restarts itself from a copy outside the folder it
// removes. The copy's command line is "--uninstall" followed by the edition
// key and the install folder, each in double quotes.

inline constexpr char kUninstallSwitch[] = "--uninstall";

// The copy's arguments (argv[1..]) for `key` and `folder`.
std::vector<std::string> UninstallCopyArguments(const std::string& key, const std::string& folder);

// argv[1..] joined with blanks: the command line as one text.
std::string JoinArguments(int argc, char** argv);

// The key and folder from a command line: the text between its first and
// last double quote (at least one character) holds them; the key is what
// comes before its first double quote, the folder what follows its last.
// False when either is empty.
bool ParseUninstallCommandLine(const std::string& command_line, std::string* key,
                               std::string* folder);
