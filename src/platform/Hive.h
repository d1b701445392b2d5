#pragma once
// The content of one hive file in memory: a tree of keys, each with its values in stored
// order, and its REGEDIT4 text form. No file access here (see HiveFile.h).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace renvo {

class Hive {
public:
    using KeyId = size_t;
    static constexpr KeyId kRoot = 0;
    // Deeper keys are refused, as Windows refuses them; it also bounds any walk over the tree.
    static constexpr size_t kMaxDepth = 512;

    Hive();

    // Splits "Software\Tovan\Renvo" into its names. "" is the root (no names). False when a
    // name is empty or holds a control character, or the path is deeper than kMaxDepth.
    static bool splitKeyPath(std::string_view path, std::vector<std::string>& names);
    // Value names must fit on one line of the file.
    static bool validValueName(std::string_view name);

    std::optional<KeyId> find(const std::vector<std::string>& names) const;
    // Finds the key, creating it and its missing parents (appended after their siblings).
    KeyId create(const std::vector<std::string>& names);

    std::vector<std::string> subkeyNames(KeyId key) const;
    bool hasSubkeys(KeyId key) const { return !keys_[key].children.empty(); }
    // Removes a key that has no subkeys; the root is never removed.
    bool removeLeaf(KeyId key);

    const RegValue* findValue(KeyId key, std::string_view name) const;
    // Replaces a value of that name in its place, or appends a new one.
    void setValue(KeyId key, std::string_view name, RegValue value);
    bool removeValue(KeyId key, std::string_view name);

    std::string toText() const;
    // Parses a whole file. On failure returns nullopt and, if asked, says why.
    static std::optional<Hive> parse(std::string_view text, std::string* why = nullptr);

private:
    struct Key {
        std::string name;  // as first stored; empty for the root
        KeyId parent = kRoot;
        std::string foldedPath;  // letter-case folded full path, the index key
        std::vector<KeyId> children;  // in stored order
        std::vector<std::pair<std::string, RegValue>> values;  // in stored order
    };

    std::optional<KeyId> findChild(KeyId parent, std::string_view name) const;
    KeyId addChild(KeyId parent, std::string_view name);
    void writeKey(std::string& out, const std::string& path, const Key& key) const;

    std::vector<Key> keys_;  // removed keys stay as unreachable slots until the next load
    std::unordered_map<std::string, KeyId> byPath_;
};

}  // namespace renvo
