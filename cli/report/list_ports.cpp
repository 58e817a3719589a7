#include "cli/report/list_ports.h"

#include <algorithm>

#include "cli/flash_options.h"
#include "cli/system/console_output.h"

namespace ostrel::cli {

std::string FormatPortListing(const PortListing& listing) {
    std::size_t width = 0;
    for (const PortEntry& port : listing.ports) width = std::max(width, port.name.size());
    std::string text;
    bool adapterSeen = false;
    for (const PortEntry& port : listing.ports) {
        text += port.name + std::string(width - port.name.size() + 2, ' ');
        text += port.friendlyName.empty() ? "(no device name)" : port.friendlyName;
        if (port.adapter) {
            text += "  <- programming adapter (CP210x, USB 10c4:ea60)";
            adapterSeen = true;
        }
        text += "\n";
    }
    if (listing.ports.empty()) text += "No serial ports found.\n";
    if (listing.adaptersWithoutPort > 0) {
        text +=
            "A CP210x adapter (USB 10c4:ea60) is plugged in but has no serial port: another "
            "program has claimed it.\nOn Ubuntu 22.04 and later that is the braille display "
            "daemon brltty. If no braille display is used,\nremove it (sudo apt remove brltty), "
            "then unplug the adapter and plug it in again.\n";
    } else if (!adapterSeen) {
        text += "No programming adapter (CP210x, USB 10c4:ea60) found.\n";
    }
    return text;
}

std::string DescribeManyAdapters(const std::vector<AdapterPort>& adapters) {
    if (adapters.size() < 2) return "";
    std::string text = std::to_string(adapters.size()) +
                       " programming adapters are plugged in; update them all with --all, or "
                       "name one with --port:\n";
    for (const AdapterPort& adapter : adapters) {
        text += "  " + adapter.port + "  (bay " + adapter.bay + ")\n";
    }
    return text;
}

int ListPorts(PortDirectory& directory, std::FILE* out) {
    PutText(out, FormatPortListing(directory.ListPorts()));
    std::fflush(out);
    return kExitSuccess;
}

}  // namespace ostrel::cli
