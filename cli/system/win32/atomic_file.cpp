#include "cli/system/atomic_file.h"

#include <windows.h>
#include <winioctl.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

#include "cli/system/program_files.h"
#include "device/win32/wide_text.h"

namespace ostrel::cli {

using win32::SystemMessage;
using win32::WideFromUtf8;

namespace {

// The name Windows keeps for a device in every folder (CON, NUL, COM1, LPT1, ... with any
// extension), or a device path (\\.\COM201): not a file, whatever the folder.
bool DeviceName(const std::string& path) {
    if (path.starts_with("\\\\.\\")) return true;
    const std::size_t slash = path.find_last_of("\\/:");
    std::string stem = path.substr(slash == std::string::npos ? 0 : slash + 1);
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$") {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// Another program (an antivirus scanning the new file, a backup or indexing tool) may hold the
// target or the new file for a moment: the rename is tried again for about two seconds.
constexpr int kMoveAttempts = 20;
constexpr DWORD kMovePauseMs = 100;

bool MoveIntoPlace(const std::wstring& from, const std::wstring& to, bool replace) {
    for (int attempt = 1;; ++attempt) {
        // Write-through: the rename is on the disk when the call returns. Without leave to
        // replace, a file that appeared since the check stays.
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0))) {
            return true;
        }
        const DWORD code = GetLastError();
        const bool held = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
                          code == ERROR_LOCK_VIOLATION;
        if (!held || attempt == kMoveAttempts) return false;
        Sleep(kMovePauseMs);
    }
}

// The folder a file of that name goes into: "." for a bare name, "C:" for "C:name".
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) {
        return path.size() > 1 && path[1] == ':' ? path.substr(0, 2) : std::string(".");
    }
    const bool root = slash == 0 || (slash == 2 && path[1] == ':');
    return path.substr(0, root ? slash + 1 : slash);
}

// Where a symbolic link or junction leads, as its maker wrote it; "?" when it cannot be read.
std::string LinkTarget(const std::wstring& link) {
    const HANDLE handle =
        CreateFileW(link.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return "?";
    // The reparse data: its tag, then offsets and lengths (bytes) of the names in the path buffer,
    // a symbolic link with a flags word before it, a junction without.
    struct Reparse {
        DWORD tag;
        WORD dataLength, reserved, substituteOffset, substituteLength, printOffset, printLength;
        WCHAR rest[MAXIMUM_REPARSE_DATA_BUFFER_SIZE / sizeof(WCHAR)];
    } data{};
    DWORD got = 0;
    const bool read = DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, &data,
                                      sizeof data, &got, nullptr) != 0;
    CloseHandle(handle);
    if (!read || data.printLength == 0) return "?";
    const std::size_t skip = data.tag == IO_REPARSE_TAG_SYMLINK ? 2 : 0;  // the flags
    const std::size_t at = skip + data.printOffset / sizeof(WCHAR);
    const std::size_t length = data.printLength / sizeof(WCHAR);
    if (at + length > std::size(data.rest)) return "?";
    return win32::Utf8FromWide(std::wstring(data.rest + at, length));
}

FileTarget Refused(FileRefusal refusal, std::string detail = {}) {
    return FileTarget{refusal, std::move(detail)};
}

}  // namespace

FileTarget CheckFileTarget(const std::string& path, Existing existing) {
    if (DeviceName(path)) return Refused(FileRefusal::DeviceName);
    const std::wstring name = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    const bool present = attributes != INVALID_FILE_ATTRIBUTES;
    // A link's own attributes: whether it leads anywhere only an open through it tells.
    if (present && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const HANDLE through =
            CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        const DWORD code = GetLastError();
        if (through != INVALID_HANDLE_VALUE) {
            CloseHandle(through);
        } else if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return Refused(FileRefusal::Dangling, LinkTarget(name));
        }
    }
    if (present) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Refused(FileRefusal::Folder);
        if (attributes & FILE_ATTRIBUTE_DEVICE) return Refused(FileRefusal::NotRegular);
        if (existing == Existing::Refuse) return Refused(FileRefusal::Exists);
        if (attributes & FILE_ATTRIBUTE_READONLY) return Refused(FileRefusal::ReadOnly);
    }
    // A new file, or the temporary file of a replacement, is made in the folder.
    if (!present || existing == Existing::Replace) {
        const std::string folder = FolderOf(path);
        const DWORD folderAttributes = GetFileAttributesW(WideFromUtf8(folder).c_str());
        if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
            !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return Refused(FileRefusal::FolderMissing, folder);
        }
    }
    return {};
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         Existing existing, std::string& error) {
    if (const FileTarget target = CheckFileTarget(path, existing);
        target.refusal != FileRefusal::None) {
        error = DescribeRefusal(target);
        return false;
    }
    const std::wstring target = WideFromUtf8(path);
    const std::wstring temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Windows tells a folder that may not be written to only by refusing the file.
        const DWORD code = GetLastError();
        error = code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT
                    ? DescribeRefusal(Refused(FileRefusal::FolderNotWritable, FolderOf(path)))
                    : SystemMessage(code);
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size() && FlushFileBuffers(file);
    DWORD failure = GetLastError();
    CloseHandle(file);
    if (ok && !MoveIntoPlace(temporary, target, existing == Existing::Replace)) {
        ok = false;
        failure = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        error = failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS
                    ? DescribeRefusal({FileRefusal::Exists, {}})
                    : SystemMessage(failure);
    }
    return ok;
}

namespace {

// The volume and index that name a file whatever path leads to it; false when it cannot be read.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE file =
        CreateFileW(WideFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool read = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return read;
}

// The absolute path a name leads to from the current folder; empty when it cannot be made.
std::wstring FullPath(const std::string& path) {
    const std::wstring name = WideFromUtf8(path);
    const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    return full;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    const bool firstExists = FileIdentity(a, first);
    const bool secondExists = FileIdentity(b, second);
    if (firstExists || secondExists) {
        return firstExists && secondExists &&
               first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh &&
               first.nFileIndexLow == second.nFileIndexLow;
    }
    // Neither exists yet: one full path ("x" and ".\\x", letters in any case) is one file to be.
    const std::wstring fullA = FullPath(a);
    return !fullA.empty() &&
           CompareStringOrdinal(fullA.c_str(), -1, FullPath(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

FileKind KindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Directory;
    return attributes & FILE_ATTRIBUTE_DEVICE ? FileKind::Other : FileKind::Regular;
}

bool IsNullDevice(const std::string& path) {
    std::string name = path;
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return name == "NUL" || name == "NUL:" || name == "\\\\.\\NUL";
}

// The user's own folders already keep others out; the file takes their permissions.
std::FILE* AppendPrivateFile(const std::string& path, std::string& error) {
    if (KindOf(path) == FileKind::Other) {
        error = DescribeRefusal({FileRefusal::NotRegular, {}});
        return nullptr;
    }
    std::FILE* file = OpenFile(path, "a");
    if (file == nullptr) error = std::strerror(errno);
    return file;
}

}  // namespace ostrel::cli
