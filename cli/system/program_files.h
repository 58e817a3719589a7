#pragma once
// What the program takes from the system as text: its arguments and the files they name. Both
// are UTF-8 here, whatever the system's own code page (Windows keeps them as UTF-16).
#include <cstdio>
#include <string>
#include <vector>

namespace ostrel::cli {

// The arguments after the program's name, as UTF-8. On Windows from the wide command line, so
// a name outside the ANSI code page (Greek on a Russian Windows) arrives whole.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// std::fopen of a UTF-8 path.
std::FILE* OpenFile(const std::string& path, const char* mode);

// This computer's name on the network, as the journal names the station; empty when unknown.
std::string HostName();

}  // namespace ostrel::cli
