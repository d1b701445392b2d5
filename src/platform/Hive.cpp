#include "platform/Hive.h"

#include "platform/Ascii.h"
#include "platform/Bytes.h"

#include <algorithm>
#include <cstdio>

namespace renvo {

Hive::Hive()
{
    keys_.push_back(Key{});
    byPath_.emplace("", kRoot);
}

bool Hive::splitKeyPath(std::string_view path, std::vector<std::string>& names)
{
    names.clear();
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        std::string_view name = path.substr(start, end == std::string_view::npos ? end : end - start);
        if (name.empty() || names.size() >= kMaxDepth)
            return false;
        for (unsigned char c : name) {
            if (c < 0x20 || c == 0x7F)
                return false;
        }
        names.emplace_back(name);
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

bool Hive::validValueName(std::string_view name)
{
    return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

std::optional<Hive::KeyId> Hive::findChild(KeyId parent, std::string_view name) const
{
    const std::string& base = keys_[parent].foldedPath;
    std::string path = base.empty() ? foldAscii(name) : base + '\\' + foldAscii(name);
    auto it = byPath_.find(path);
    if (it == byPath_.end())
        return std::nullopt;
    return it->second;
}

Hive::KeyId Hive::addChild(KeyId parent, std::string_view name)
{
    Key key;
    key.name = std::string(name);
    key.parent = parent;
    const std::string& base = keys_[parent].foldedPath;
    key.foldedPath = base.empty() ? foldAscii(name) : base + '\\' + foldAscii(name);
    KeyId id = keys_.size();
    byPath_.emplace(key.foldedPath, id);
    keys_.push_back(std::move(key));
    keys_[parent].children.push_back(id);
    return id;
}

std::optional<Hive::KeyId> Hive::find(const std::vector<std::string>& names) const
{
    KeyId id = kRoot;
    for (const std::string& name : names) {
        auto child = findChild(id, name);
        if (!child)
            return std::nullopt;
        id = *child;
    }
    return id;
}

Hive::KeyId Hive::create(const std::vector<std::string>& names)
{
    KeyId id = kRoot;
    for (const std::string& name : names) {
        auto child = findChild(id, name);
        id = child ? *child : addChild(id, name);
    }
    return id;
}

std::vector<std::string> Hive::subkeyNames(KeyId key) const
{
    std::vector<std::string> names;
    names.reserve(keys_[key].children.size());
    for (KeyId child : keys_[key].children)
        names.push_back(keys_[child].name);
    return names;
}

bool Hive::removeLeaf(KeyId key)
{
    if (key == kRoot || key >= keys_.size() || !keys_[key].children.empty())
        return false;
    auto& siblings = keys_[keys_[key].parent].children;
    auto it = std::find(siblings.begin(), siblings.end(), key);
    if (it == siblings.end())
        return false;  // already removed
    siblings.erase(it);
    byPath_.erase(keys_[key].foldedPath);
    keys_[key].values.clear();
    return true;
}

const RegValue* Hive::findValue(KeyId key, std::string_view name) const
{
    for (const auto& [n, v] : keys_[key].values) {
        if (sameTextIgnoreCase(n, name))
            return &v;
    }
    return nullptr;
}

void Hive::setValue(KeyId key, std::string_view name, RegValue value)
{
    for (auto& [n, v] : keys_[key].values) {
        if (sameTextIgnoreCase(n, name)) {
            v = std::move(value);
            return;
        }
    }
    keys_[key].values.emplace_back(std::string(name), std::move(value));
}

bool Hive::removeValue(KeyId key, std::string_view name)
{
    auto& values = keys_[key].values;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (sameTextIgnoreCase(it->first, name)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

// ---- text form ----

namespace {

void appendQuoted(std::string& out, std::string_view s)
{
    out += '"';
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

// A REG_SZ goes out as "text" when reading it back gives the same bytes: one terminating zero,
// none inside, and no line break. Anything else keeps its exact bytes as hex(1).
bool writableAsText(const RegValue& v)
{
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < v.data.size(); ++i) {
        uint8_t c = v.data[i];
        if (c == 0 || c == '\r' || c == '\n')
            return false;
    }
    return true;
}

// Comma-separated bytes, wrapped as regedit wraps them: lines end in ",\" below 80 columns.
void appendHexList(std::string& out, size_t column, const std::vector<uint8_t>& data)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        size_t width = (i + 1 < data.size()) ? 3 : 2;
        if (i > 0 && column + width + 1 > 79) {
            out += "\\\n  ";
            column = 2;
        }
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
        if (i + 1 < data.size())
            out += ',';
        column += width;
    }
}

void appendValue(std::string& out, const std::string& name, const RegValue& v)
{
    size_t lineStart = out.size();
    if (name.empty())
        out += '@';
    else
        appendQuoted(out, name);
    out += '=';
    if (writableAsText(v)) {
        appendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()),
                                           v.data.size() - 1));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", decodeDwordLE(v.data.data()));
        out += buf;
    } else {
        if (v.type == REG_BINARY) {
            out += "hex:";
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
            out += buf;
        }
        appendHexList(out, out.size() - lineStart, v.data);
    }
    out += '\n';
}

}  // namespace

void Hive::writeKey(std::string& out, const std::string& path, const Key& key) const
{
    out += "[HKEY_CURRENT_USER";
    if (!path.empty()) {
        out += '\\';
        out += path;
    }
    out += "]\n";
    for (const auto& [name, value] : key.values)
        appendValue(out, name, value);
    out += '\n';
}

std::string Hive::toText() const
{
    std::string out = "REGEDIT4\n\n";
    if (!keys_[kRoot].values.empty())
        writeKey(out, {}, keys_[kRoot]);

    // Parents before children, siblings in stored order; an explicit stack, no recursion.
    struct Frame {
        KeyId id;
        size_t next;
        size_t pathLength;  // length of path before this key's name was added
    };
    std::vector<Frame> stack{{kRoot, 0, 0}};
    std::string path;
    while (!stack.empty()) {
        Frame& top = stack.back();
        const Key& key = keys_[top.id];
        if (top.next == key.children.size()) {
            path.resize(top.pathLength);
            stack.pop_back();
            continue;
        }
        KeyId child = key.children[top.next++];
        size_t before = path.size();
        if (!path.empty())
            path += '\\';
        path += keys_[child].name;
        writeKey(out, path, keys_[child]);
        stack.push_back({child, 0, before});
    }
    return out;
}

}  // namespace renvo
