#include "cli/report/list_ports.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel::cli {
namespace {

TEST(PortListingText, MarksTheAdapterAndSaysWhatToDoWhenItHasNoPort) {
    PortListing listing;
    listing.ports = {{"/dev/ttyS0", "", false},
                     {"/dev/ttyUSB0", "Silicon Labs CP210x UART Bridge (ttyUSB0)", true}};
    EXPECT_EQ(FormatPortListing(listing),
              "/dev/ttyS0    (no device name)\n"
              "/dev/ttyUSB0  Silicon Labs CP210x UART Bridge (ttyUSB0)  <- programming adapter "
              "(CP210x, USB 10c4:ea60)\n");
    listing.ports.pop_back();
    EXPECT_NE(FormatPortListing(listing).find("No programming adapter"), std::string::npos);
    listing.adaptersWithoutPort = 1;
    const std::string claimed = FormatPortListing(listing);
    EXPECT_NE(claimed.find("plugged in but has no serial port: another program has claimed it"),
              std::string::npos);
    EXPECT_NE(claimed.find("sudo apt remove brltty"), std::string::npos);
    EXPECT_EQ(FormatPortListing({}).find("No serial ports found.\n"), 0u);
}

}  // namespace
}  // namespace ostrel::cli
