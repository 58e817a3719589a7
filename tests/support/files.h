#pragma once
// The files a test reads back and the folder it works in.
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace ostrel::test {

// The whole of the file at `path`, byte for byte; "" when it cannot be read.
inline std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A folder of the test's own in the system's temporary folder, readable by its owner only, and
// removed with whatever was left in it.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix = "ostrel-test") {
        namespace fs = std::filesystem;
        // A folder that already exists is never taken over: another name is tried.
        for (unsigned n = std::random_device{}();; ++n) {
            dir_ = (fs::temp_directory_path() / (prefix + "." + std::to_string(n))).string();
            if (fs::create_directory(dir_)) break;
        }
        fs::permissions(dir_, fs::perms::owner_all);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Dir() const { return dir_; }
    // A file or folder in it, removed with it.
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  private:
    std::string dir_;
};

}  // namespace ostrel::test
