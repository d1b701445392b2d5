#pragma once
// Registry reads with defaults and strict stored types, on top of TRegistry.
//
// Reads of a present value demand the stored type the caller expects; anything else raises
// ERegistryException rather than being reinterpreted, and so does a hive that cannot be read.
// The Store calls raise when the hive refuses a write; TRegistry's Write calls stay as they
// are, returning false.

#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace renvo {

class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The three failure texts, with the value name in place of %s.
std::string invalidRegTypeText(const std::string& name);  // "'%s' のデータ型が不正です"
std::string regGetDataFailedText(const std::string& name);  // "'%s' の取得に失敗しました"
std::string regSetDataFailedText(const std::string& name);  // "'%s' の設定に失敗しました"

class TQRegEx : public TRegistry {
public:
    using TRegistry::TRegistry;

    // Raw bytes of any type but REG_SZ, REG_EXPAND_SZ and REG_DWORD, no longer than size.
    // Only the stored bytes are filled. Returns their count; 0 and buffer untouched when missing.
    size_t ReadBinaryIfExists(const std::string& name, void* buffer, size_t size);
    // As ReadBinaryIfExists; true when the value existed (the caller keeps its own default).
    bool ReadBinaryDef(const std::string& name, void* buffer, size_t size);
    // The out value is assigned only on success: the default when missing, the value read
    // when present. A present value of the wrong type raises and leaves it untouched.
    bool ReadBoolDef(const std::string& name, bool& value, bool def);  // REG_DWORD, non-zero
    bool ReadIntegerDef(const std::string& name, int32_t& value, int32_t def);  // REG_DWORD
    // REG_SZ or REG_EXPAND_SZ (never expanded): the bytes up to the first zero byte.
    bool ReadStringDef(const std::string& name, std::string& value, const std::string& def);
    // REG_BINARY of exactly 8 bytes: a little-endian IEEE double of days.
    bool ReadTimeDef(const std::string& name, double& value, double def);

    // Raising writes.
    void StoreBool(const std::string& name, bool value);             // REG_DWORD 1 or 0
    void StoreInteger(const std::string& name, int32_t value);       // REG_DWORD
    void StoreString(const std::string& name, const std::string& value);  // REG_SZ
    void StoreTime(const std::string& name, double value);           // REG_BINARY, 8 bytes
    void StoreBinary(const std::string& name, const void* data, size_t size);  // REG_BINARY
    void StoreValue(const std::string& name, const RegValue& value);

private:
    // The stored value, or nullopt when missing; raises when the hive cannot be read.
    std::optional<RegValue> fetch(const std::string& name) const;
};

// The reads above on a value already fetched (nullopt = missing), for a caller that reads the
// whole key at once; same rules, same exceptions.
std::optional<size_t> readBinaryValue(const std::string& name, const std::optional<RegValue>& stored, void* buffer,
                                      size_t size);
bool readBoolValue(const std::string& name, const std::optional<RegValue>& stored, bool& value, bool def);
bool readIntegerValue(const std::string& name, const std::optional<RegValue>& stored, int32_t& value, int32_t def);
bool readStringValue(const std::string& name, const std::optional<RegValue>& stored, std::string& value,
                     const std::string& def);
bool readTimeValue(const std::string& name, const std::optional<RegValue>& stored, double& value, double def);

// The stored forms that the Store calls write.
RegValue boolValue(bool value);
RegValue integerValue(int32_t value);
RegValue stringValue(const std::string& value);
RegValue timeValue(double value);
RegValue binaryValue(const void* data, size_t size);

// Little-endian IEEE double <-> 8 bytes, whatever the host order.
void encodeDoubleLE(double value, uint8_t out[8]);
double decodeDoubleLE(const uint8_t in[8]);

}  // namespace renvo
