#pragma once
// ostrel-flash --list: the serial ports with their names, the programming adapter marked, and
// what to do when the adapter is plugged in but has no port.
#include <cstdio>
#include <string>
#include <vector>

#include "device/port_directory.h"

namespace ostrel::cli {

// The listing as text: one port a line, then a line about the adapter.
std::string FormatPortListing(const PortListing& listing);
// More than one adapter with no --port: which one to update is the user's to say. The refusal,
// one adapter a line with its bay; empty with one adapter or none.
std::string DescribeManyAdapters(const std::vector<AdapterPort>& adapters);
// Prints the directory's listing to `out`; the exit code (0).
int ListPorts(PortDirectory& directory, std::FILE* out);

}  // namespace ostrel::cli
