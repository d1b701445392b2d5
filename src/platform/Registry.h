#pragma once
// The registry of the current user, kept in a per-user hive file in REGEDIT4 text.
//
// Key paths are written with backslashes and without the root, as the Win32 calls take them:
// "\Software\Tovan\Renvo" or "Software\Tovan\Renvo" (a leading backslash is optional).
// As in Delphi's TRegistry, a path without the leading backslash is counted from the current
// key while one is open (from the root otherwise); with it, always from the root.
// Value and key names compare without regard to ASCII letter case, as in the Windows registry.
//
// Every mutating call re-reads the hive file under an advisory lock, applies its change to what
// is on disk at that moment and replaces the file atomically, so two programs sharing one hive
// never wipe each other's keys.
//
// TRegistry keeps Delphi's bool results (false with errno set), unlike the rest of the platform
// layer, which reports a Status: its callers are written against Delphi's TRegistry.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace renvo {

enum RegType : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

struct RegValue {
    uint32_t type = REG_NONE;
    // REG_SZ / REG_EXPAND_SZ: the text's bytes followed by one zero byte (the stored size
    // counts it, as on Windows). REG_DWORD: 4 bytes little-endian. Others: the bytes as stored.
    std::vector<uint8_t> data;
};

// The hive file used for HKEY_CURRENT_USER: ${XDG_CONFIG_HOME:-$HOME/.config}/Tovan/user.reg
std::string userHivePath();

// Told once per process when a hive file could not be parsed and was moved aside
// (so the caller can show one message). Empty when nothing happened.
struct HiveNotice {
    std::string hivePath;     // the file that could not be parsed
    std::string keptAsPath;   // where its content now lies
};

// A handle on one key of one hive file, in the manner of Delphi's TRegistry.
class TRegistry {
public:
    // hivePath empty = userHivePath().
    explicit TRegistry(std::string hivePath = {});
    virtual ~TRegistry() = default;

    const std::string& hivePath() const { return hivePath_; }

    // Opens the key; with canCreate the key (and its parents) is created and stored.
    // Returns false when the key does not exist (and !canCreate) or cannot be created.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool hasCurrentKey() const { return !currentKey_.empty(); }

    bool KeyExists(const std::string& key) const;

    // Values of the current key.
    bool ValueExists(const std::string& name) const;
    // nullopt when missing or when the hive could not be read; error, when given, receives 0
    // for a value present or missing and the errno for a hive that could not be read.
    std::optional<RegValue> ReadValue(const std::string& name, int* error = nullptr) const;
    // Stores a value; false when the hive cannot be written (errno tells why).
    bool WriteValue(const std::string& name, const RegValue& value);
    bool WriteInteger(const std::string& name, int32_t value);         // REG_DWORD
    bool WriteString(const std::string& name, const std::string& value);  // REG_SZ
    bool WriteBinary(const std::string& name, const void* data, size_t size);  // REG_BINARY
    bool DeleteValue(const std::string& name);

    // Direct subkey names of a key (relative path, "" = the current key), in stored order.
    std::vector<std::string> GetKeyNames(const std::string& key = {}) const;
    // Deletes one key given relative to the current key (or absolute with a leading "\").
    // Like RegDeleteKey on NT: fails when the key still has subkeys.
    bool DeleteKey(const std::string& key);

    // The notice about a hive that was moved aside since the last call, if any.
    static std::optional<HiveNotice> takeCorruptHiveNotice();

private:
    std::string hivePath_;
    std::string currentKey_;  // canonical "Software\Tovan\Renvo" form; empty = none open
    int openErrno_ = 0;       // why the last OpenKey failed; told by writes without a key
};

}  // namespace renvo
