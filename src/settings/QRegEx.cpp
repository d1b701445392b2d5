#include "settings/QRegEx.h"

#include "platform/Bytes.h"

#include <bit>
#include <cstring>

namespace renvo {

std::string invalidRegTypeText(const std::string& name)
{
    return "'" + name + "' のデータ型が不正です";
}

std::string regGetDataFailedText(const std::string& name)
{
    return "'" + name + "' の取得に失敗しました";
}

std::string regSetDataFailedText(const std::string& name)
{
    return "'" + name + "' の設定に失敗しました";
}

void encodeDoubleLE(double value, uint8_t out[8])
{
    std::memcpy(out, &value, 8);
    if constexpr (std::endian::native == std::endian::big) {
        for (int i = 0; i < 4; ++i)
            std::swap(out[i], out[7 - i]);
    }
}

double decodeDoubleLE(const uint8_t in[8])
{
    uint8_t bytes[8];
    std::memcpy(bytes, in, 8);
    if constexpr (std::endian::native == std::endian::big) {
        for (int i = 0; i < 4; ++i)
            std::swap(bytes[i], bytes[7 - i]);
    }
    double value;
    std::memcpy(&value, bytes, 8);
    return value;
}

namespace {

int32_t dwordOf(const std::string& name, const RegValue& v)
{
    if (v.type != REG_DWORD || v.data.size() != 4)
        throw ERegistryException(invalidRegTypeText(name));
    return static_cast<int32_t>(decodeDwordLE(v.data.data()));
}

}  // namespace

std::optional<size_t> readBinaryValue(const std::string& name, const std::optional<RegValue>& v, void* buffer,
                                      size_t size)
{
    if (!v)
        return std::nullopt;
    if (v->type == REG_SZ || v->type == REG_EXPAND_SZ || v->type == REG_DWORD || v->data.size() > size)
        throw ERegistryException(invalidRegTypeText(name));
    if (!v->data.empty())
        std::memcpy(buffer, v->data.data(), v->data.size());
    return v->data.size();
}

bool readBoolValue(const std::string& name, const std::optional<RegValue>& v, bool& value, bool def)
{
    value = v ? dwordOf(name, *v) != 0 : def;
    return v.has_value();
}

bool readIntegerValue(const std::string& name, const std::optional<RegValue>& v, int32_t& value, int32_t def)
{
    value = v ? dwordOf(name, *v) : def;
    return v.has_value();
}

bool readStringValue(const std::string& name, const std::optional<RegValue>& v, std::string& value,
                     const std::string& def)
{
    if (!v) {
        value = def;
        return false;
    }
    if (v->type != REG_SZ && v->type != REG_EXPAND_SZ)
        throw ERegistryException(invalidRegTypeText(name));
    const auto* bytes = reinterpret_cast<const char*>(v->data.data());
    value.assign(bytes, ::strnlen(bytes, v->data.size()));
    return true;
}

bool readTimeValue(const std::string& name, const std::optional<RegValue>& v, double& value, double def)
{
    if (!v) {
        value = def;
        return false;
    }
    if (v->type != REG_BINARY || v->data.size() != 8)
        throw ERegistryException(invalidRegTypeText(name));
    value = decodeDoubleLE(v->data.data());
    return true;
}

RegValue boolValue(bool value)
{
    return integerValue(value ? 1 : 0);
}

RegValue integerValue(int32_t value)
{
    RegValue v{REG_DWORD, std::vector<uint8_t>(4)};
    encodeDwordLE(static_cast<uint32_t>(value), v.data.data());
    return v;
}

RegValue stringValue(const std::string& value)
{
    RegValue v{REG_SZ, std::vector<uint8_t>(value.begin(), value.end())};
    v.data.push_back(0);
    return v;
}

RegValue timeValue(double value)
{
    RegValue v{REG_BINARY, std::vector<uint8_t>(8)};
    encodeDoubleLE(value, v.data.data());
    return v;
}

RegValue binaryValue(const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    return RegValue{REG_BINARY, size == 0 ? std::vector<uint8_t>{} : std::vector<uint8_t>(bytes, bytes + size)};
}

std::optional<RegValue> TQRegEx::fetch(const std::string& name) const
{
    int err = 0;
    std::optional<RegValue> v = ReadValue(name, &err);
    if (err != 0)
        throw ERegistryException(regGetDataFailedText(name));
    return v;
}

size_t TQRegEx::ReadBinaryIfExists(const std::string& name, void* buffer, size_t size)
{
    return readBinaryValue(name, fetch(name), buffer, size).value_or(0);
}

bool TQRegEx::ReadBinaryDef(const std::string& name, void* buffer, size_t size)
{
    return readBinaryValue(name, fetch(name), buffer, size).has_value();
}

bool TQRegEx::ReadBoolDef(const std::string& name, bool& value, bool def)
{
    return readBoolValue(name, fetch(name), value, def);
}

bool TQRegEx::ReadIntegerDef(const std::string& name, int32_t& value, int32_t def)
{
    return readIntegerValue(name, fetch(name), value, def);
}

bool TQRegEx::ReadStringDef(const std::string& name, std::string& value, const std::string& def)
{
    return readStringValue(name, fetch(name), value, def);
}

bool TQRegEx::ReadTimeDef(const std::string& name, double& value, double def)
{
    return readTimeValue(name, fetch(name), value, def);
}

void TQRegEx::StoreBool(const std::string& name, bool value)
{
    StoreValue(name, boolValue(value));
}

void TQRegEx::StoreInteger(const std::string& name, int32_t value)
{
    StoreValue(name, integerValue(value));
}

void TQRegEx::StoreString(const std::string& name, const std::string& value)
{
    StoreValue(name, stringValue(value));
}

void TQRegEx::StoreTime(const std::string& name, double value)
{
    StoreValue(name, timeValue(value));
}

void TQRegEx::StoreBinary(const std::string& name, const void* data, size_t size)
{
    StoreValue(name, binaryValue(data, size));
}

void TQRegEx::StoreValue(const std::string& name, const RegValue& value)
{
    if (!WriteValue(name, value))
        throw ERegistryException(regSetDataFailedText(name));
}

}  // namespace renvo
