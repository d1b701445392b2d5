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

std::optional<RegValue> TQRegEx::fetch(const std::string& name) const
{
    int err = 0;
    std::optional<RegValue> v = ReadValue(name, &err);
    if (err != 0)
        throw ERegistryException(regGetDataFailedText(name));
    return v;
}

std::optional<size_t> TQRegEx::readRaw(const std::string& name, void* buffer, size_t size)
{
    std::optional<RegValue> v = fetch(name);
    if (!v)
        return std::nullopt;
    if (v->type == REG_SZ || v->type == REG_EXPAND_SZ || v->type == REG_DWORD ||
        v->data.size() > size)
        throw ERegistryException(invalidRegTypeText(name));
    if (!v->data.empty())
        std::memcpy(buffer, v->data.data(), v->data.size());
    return v->data.size();
}

size_t TQRegEx::ReadBinaryIfExists(const std::string& name, void* buffer, size_t size)
{
    return readRaw(name, buffer, size).value_or(0);
}

bool TQRegEx::ReadBinaryDef(const std::string& name, void* buffer, size_t size)
{
    return readRaw(name, buffer, size).has_value();
}

bool TQRegEx::ReadBoolDef(const std::string& name, bool& value, bool def)
{
    std::optional<RegValue> v = fetch(name);
    value = v ? dwordOf(name, *v) != 0 : def;
    return v.has_value();
}

bool TQRegEx::ReadIntegerDef(const std::string& name, int32_t& value, int32_t def)
{
    std::optional<RegValue> v = fetch(name);
    value = v ? dwordOf(name, *v) : def;
    return v.has_value();
}

bool TQRegEx::ReadStringDef(const std::string& name, std::string& value, const std::string& def)
{
    std::optional<RegValue> v = fetch(name);
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

bool TQRegEx::ReadTimeDef(const std::string& name, double& value, double def)
{
    std::optional<RegValue> v = fetch(name);
    if (!v) {
        value = def;
        return false;
    }
    if (v->type != REG_BINARY || v->data.size() != 8)
        throw ERegistryException(invalidRegTypeText(name));
    value = decodeDoubleLE(v->data.data());
    return true;
}

void TQRegEx::StoreBool(const std::string& name, bool value)
{
    StoreInteger(name, value ? 1 : 0);
}

void TQRegEx::StoreInteger(const std::string& name, int32_t value)
{
    if (!WriteInteger(name, value))
        throw ERegistryException(regSetDataFailedText(name));
}

void TQRegEx::StoreString(const std::string& name, const std::string& value)
{
    if (!WriteString(name, value))
        throw ERegistryException(regSetDataFailedText(name));
}

void TQRegEx::StoreTime(const std::string& name, double value)
{
    uint8_t bytes[8];
    encodeDoubleLE(value, bytes);
    StoreBinary(name, bytes, sizeof bytes);
}

void TQRegEx::StoreBinary(const std::string& name, const void* data, size_t size)
{
    if (!WriteBinary(name, data, size))
        throw ERegistryException(regSetDataFailedText(name));
}

}  // namespace renvo
