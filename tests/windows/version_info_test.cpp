// The version information of both programs, read as Explorer's properties read it: the numbers
// and the texts must name this build's version, the program and the company.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

struct Program {
    const char* path;
    const char* fileName;
};

class VersionInfo {
  public:
    explicit VersionInfo(const std::string& path) {
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
        if (size == 0) return;
        data_.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) data_.clear();
    }
    bool Found() const { return !data_.empty(); }
    VS_FIXEDFILEINFO Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        VS_FIXEDFILEINFO fixed{};
        if (VerQueryValueA(data_.data(), "\\", &value, &length) && length >= sizeof fixed) {
            fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
        }
        return fixed;
    }
    // A text of the first translation the file declares, as Explorer picks it.
    std::string Text(const char* name) const {
        struct Translation {
            WORD language;
            WORD codePage;
        };
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &value, &length) ||
            length < sizeof(Translation)) {
            return "(no translation)";
        }
        const auto* translation = static_cast<const Translation*>(value);
        char key[128];
        wsprintfA(key, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                  translation->codePage, name);
        if (!VerQueryValueA(data_.data(), key, &value, &length) || length == 0) return "(none)";
        return static_cast<const char*>(value);
    }

  private:
    mutable std::vector<char> data_;
};

DWORD Packed(unsigned high, unsigned low) {
    return (DWORD{high} << 16) | low;
}

TEST(Win32VersionInfo, BothProgramsNameTheirVersionProductAndCompany) {
    const Program programs[] = {{OSTREL_UPDATER_EXE, "ostrel-updater.exe"},
                                {OSTREL_FLASH_EXE, "ostrel-flash.exe"}};
    for (const Program& program : programs) {
        SCOPED_TRACE(program.fileName);
        const VersionInfo info(program.path);
        ASSERT_TRUE(info.Found()) << "no version resource";
        const VS_FIXEDFILEINFO fixed = info.Fixed();
        EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed.dwFileVersionMS, Packed(OSTREL_VERSION_MAJOR, OSTREL_VERSION_MINOR));
        EXPECT_EQ(fixed.dwFileVersionLS, Packed(OSTREL_VERSION_PATCH, 0));
        EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS);
        EXPECT_EQ(fixed.dwProductVersionLS, fixed.dwFileVersionLS);
        EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
        EXPECT_EQ(info.Text("FileVersion"), OSTREL_VERSION);
        EXPECT_EQ(info.Text("ProductVersion"), OSTREL_VERSION);
        EXPECT_EQ(info.Text("CompanyName"), "GPS Ostrel");
        EXPECT_EQ(info.Text("ProductName"), "GPS Ostrel updater");
        EXPECT_EQ(info.Text("OriginalFilename"), program.fileName);
        EXPECT_NE(info.Text("FileDescription").find("GPS Ostrel firmware updater"),
                  std::string::npos);
    }
    // Explorer tells the two apart by their descriptions.
    EXPECT_NE(VersionInfo(OSTREL_UPDATER_EXE).Text("FileDescription"),
              VersionInfo(OSTREL_FLASH_EXE).Text("FileDescription"));
}

}  // namespace
}  // namespace ostrel
