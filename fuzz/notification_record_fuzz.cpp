// Arbitrary device-change records: the parser must stay inside the record's declared size (the
// buffer here is exactly that long, so ASan sees any byte past it) and report only the bridge.
#include <algorithm>
#include <cstring>
#include <vector>

#include "device/notification_record.h"
#include "device/port_names.h"
#include "fuzz/fuzz_support.h"

using ostrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < ostrel::kRecordHeaderSize + 1) return 0;
    const std::uint64_t code = data[0] & 1 ? ostrel::kDeviceArrival : ostrel::kDeviceRemoveComplete;
    std::vector<std::uint8_t> record(data + 1, data + size);
    // The system's declared size is truthful; anything shorter than the buffer is allowed.
    std::uint32_t declared = 0;
    std::memcpy(&declared, record.data(), 4);
    declared = std::min<std::uint32_t>(declared, static_cast<std::uint32_t>(record.size()));
    declared = std::max<std::uint32_t>(declared, ostrel::kRecordHeaderSize);
    std::memcpy(record.data(), &declared, 4);
    record.resize(declared);
    record.shrink_to_fit();

    const std::string path = ostrel::InterfacePathOf(record.data());
    Check(path.size() <= ostrel::kInterfaceNameSize);
    Check(path.find('\0') == std::string::npos);
    const ostrel::PendingEvent event = ostrel::BridgeEventOf(code, record.data());
    Check(event == ostrel::kNoDeviceEvent || ostrel::IsBridgeInterface(path));
    return 0;
}
