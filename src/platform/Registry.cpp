#include "platform/Registry.h"

#include <cerrno>
#include <cstdlib>

#include "platform/Bytes.h"
#include "platform/Hive.h"
#include "platform/HiveFile.h"
#include "platform/Program.h"

namespace renvo {

std::string userHivePath()
{
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        base = homeFolder() + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Tovan/user.reg";
}

namespace {

// A key argument starting with "\" is counted from the root, any other from the current key
// (from the root when none is open), as TRegistry does. One trailing "\" is ignored.
bool resolveKey(const std::string& current, const std::string& key, std::string& full,
                std::vector<std::string>& names)
{
    if (!key.empty() && key[0] == '\\')
        full = key.substr(1);
    else if (current.empty())
        full = key;
    else if (key.empty())
        full = current;
    else
        full = current + '\\' + key;
    if (!full.empty() && full.back() == '\\')
        full.pop_back();
    if (!Hive::splitKeyPath(full, names)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

std::vector<std::string> keyNames(const std::string& path)
{
    std::vector<std::string> names;
    Hive::splitKeyPath(path, names);  // currentKey_ was checked when it was opened
    return names;
}

// The bool-and-errno form of the TRegistry calls from the platform's Status.
bool succeeded(const Status& status)
{
    if (!status)
        errno = status.error();
    return status.ok();
}

std::vector<uint8_t> bytes(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    return size == 0 ? std::vector<uint8_t>{} : std::vector<uint8_t>(p, p + size);
}

}  // namespace

TRegistry::TRegistry(std::string hivePath)
    : hivePath_(hivePath.empty() ? userHivePath() : std::move(hivePath))
{
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    std::string full;
    std::vector<std::string> names;
    if (!resolveKey(currentKey_, key, full, names))
        return false;
    if (names.empty()) {
        errno = EINVAL;  // the root itself holds no values of ours
        return false;
    }
    // Look first: an existing key opens without a write, so a hive in a read-only folder
    // can still be read.
    Hive hive;
    bool loaded = succeeded(loadHive(hivePath_, hive));
    bool found = loaded && hive.find(names);
    if (!found && canCreate) {
        found = succeeded(updateHive(hivePath_, [&](Hive& h) {
            if (h.find(names))
                return HiveChange::None;
            h.create(names);
            return HiveChange::Changed;
        }));
    } else if (!found && loaded) {
        errno = ENOENT;
    }
    if (!found) {
        openErrno_ = errno;
        return false;
    }
    currentKey_ = full;
    openErrno_ = 0;
    return true;
}

void TRegistry::CloseKey()
{
    currentKey_.clear();
}

bool TRegistry::KeyExists(const std::string& key) const
{
    std::string full;
    std::vector<std::string> names;
    Hive hive;
    return resolveKey(currentKey_, key, full, names) && succeeded(loadHive(hivePath_, hive)) &&
           hive.find(names).has_value();
}

bool TRegistry::ValueExists(const std::string& name) const
{
    return ReadValue(name).has_value();
}

std::optional<RegValue> TRegistry::ReadValue(const std::string& name, int* error) const
{
    if (error)
        *error = 0;
    if (currentKey_.empty())
        return std::nullopt;
    Hive hive;
    if (const Status loaded = loadHive(hivePath_, hive); !succeeded(loaded)) {
        if (error)
            *error = loaded.error();
        return std::nullopt;
    }
    auto key = hive.find(keyNames(currentKey_));
    if (!key)
        return std::nullopt;
    if (const RegValue* v = hive.findValue(*key, name))
        return *v;
    return std::nullopt;
}

bool TRegistry::WriteValue(const std::string& name, const RegValue& value)
{
    if (currentKey_.empty()) {
        errno = openErrno_ ? openErrno_ : EINVAL;
        return false;
    }
    if (!Hive::validValueName(name)) {
        errno = EINVAL;
        return false;
    }
    std::vector<std::string> names = keyNames(currentKey_);
    return succeeded(updateHive(hivePath_, [&](Hive& hive) {
        // A key deleted by another program since it was opened comes back, with this value.
        Hive::KeyId key = hive.create(names);
        const RegValue* old = hive.findValue(key, name);
        if (old && old->type == value.type && old->data == value.data)
            return HiveChange::None;  // saves a rewrite of the file
        hive.setValue(key, name, value);
        return HiveChange::Changed;
    }));
}

bool TRegistry::WriteInteger(const std::string& name, int32_t value)
{
    RegValue v{REG_DWORD, std::vector<uint8_t>(4)};
    encodeDwordLE(static_cast<uint32_t>(value), v.data.data());
    return WriteValue(name, v);
}

bool TRegistry::WriteString(const std::string& name, const std::string& value)
{
    RegValue v{REG_SZ, bytes(value.data(), value.size())};
    v.data.push_back(0);
    return WriteValue(name, v);
}

bool TRegistry::WriteBinary(const std::string& name, const void* data, size_t size)
{
    return WriteValue(name, RegValue{REG_BINARY, bytes(data, size)});
}

bool TRegistry::DeleteValue(const std::string& name)
{
    if (currentKey_.empty()) {
        errno = openErrno_ ? openErrno_ : EINVAL;
        return false;
    }
    std::vector<std::string> names = keyNames(currentKey_);
    return succeeded(updateHive(hivePath_, [&](Hive& hive) {
        auto key = hive.find(names);
        if (!key || !hive.removeValue(*key, name)) {
            errno = ENOENT;
            return HiveChange::Refused;
        }
        return HiveChange::Changed;
    }));
}

std::vector<std::string> TRegistry::GetKeyNames(const std::string& key) const
{
    std::string full;
    std::vector<std::string> names;
    Hive hive;
    if (!resolveKey(currentKey_, key, full, names) || !succeeded(loadHive(hivePath_, hive)))
        return {};
    auto id = hive.find(names);
    return id ? hive.subkeyNames(*id) : std::vector<std::string>{};
}

bool TRegistry::DeleteKey(const std::string& key)
{
    std::string full;
    std::vector<std::string> names;
    if (!resolveKey(currentKey_, key, full, names))
        return false;
    if (names.empty()) {
        errno = EINVAL;
        return false;
    }
    return succeeded(updateHive(hivePath_, [&](Hive& hive) {
        auto id = hive.find(names);
        if (!id) {
            errno = ENOENT;
            return HiveChange::Refused;
        }
        if (hive.hasSubkeys(*id)) {
            errno = ENOTEMPTY;
            return HiveChange::Refused;
        }
        hive.removeLeaf(*id);
        return HiveChange::Changed;
    }));
}

std::optional<HiveNotice> TRegistry::takeCorruptHiveNotice()
{
    return takeHiveNotice();
}

}  // namespace renvo
