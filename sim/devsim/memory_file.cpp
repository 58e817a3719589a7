#include "sim/devsim/memory_file.h"

#include <fstream>

namespace ostrel::sim {

bool DumpMemory(const BootloaderModel& model, const std::string& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(model.Memory().data()),
              static_cast<std::streamsize>(model.Memory().size()));
    return static_cast<bool>(out.flush());
}

bool LoadMemory(BootloaderModel& model, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(model.Memory().data()),
            static_cast<std::streamsize>(model.Memory().size()));
    return in.gcount() == static_cast<std::streamsize>(model.Memory().size()) &&
           in.peek() == std::ifstream::traits_type::eof();
}

}  // namespace ostrel::sim
