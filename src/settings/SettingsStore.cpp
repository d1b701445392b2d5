#include "settings/SettingsStore.h"

#include "platform/Hive.h"
#include "platform/HiveFile.h"
#include "settings/QRegEx.h"

#include <string>
#include <utility>
#include <vector>

namespace renvo {

std::string hiveKeptAsideText(const std::string& hivePath, const std::string& keptAsPath)
{
    return "設定ファイル '" + hivePath + "' を読み取れなかったため，'" + keptAsPath +
           "' に移しました\r\nこのファイルにあった設定は既定値に戻ります";
}

namespace {

void tellHiveNotice(Prompt& prompt)
{
    if (std::optional<HiveNotice> n = TRegistry::takeCorruptHiveNotice())
        prompt.tell(kHiveKeptAsideCaption, hiveKeptAsideText(n->hivePath, n->keptAsPath), PromptIcon::Warning);
}

const std::vector<std::string>& settingsKeyNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        Hive::splitKeyPath(std::string(kSettingsKey).substr(1), n);  // without the leading "\"
        return n;
    }();
    return names;
}

bool sameStored(const std::optional<RegValue>& a, const std::optional<RegValue>& b)
{
    if (!a || !b)
        return !a && !b;
    return a->type == b->type && a->data == b->data;
}

StoredSettings storedIn(const Hive& hive)
{
    StoredSettings stored;
    if (const std::optional<Hive::KeyId> key = hive.find(settingsKeyNames())) {
        for (size_t i = 0; i < kSettingsValueCount; ++i)
            if (const RegValue* v = hive.findValue(*key, settingsValues()[i].name))
                stored[i] = *v;
    }
    return stored;
}

// 0, or the errno of a hive that cannot be read.
int readStored(const std::string& hivePath, StoredSettings& stored)
{
    Hive hive;
    if (const Status loaded = loadHive(hivePath, hive); !loaded)
        return loaded.error();
    stored = storedIn(hive);
    return 0;
}

bool decodes(size_t i, const std::optional<RegValue>& stored, TSettings& settings, const TSettings& def)
{
    try {
        settingsValues()[i].decode(settingsValues()[i].name, stored, settings, def);
        return true;
    } catch (const ERegistryException&) {
        return false;
    }
}

// What a save does with each value, given the key as it is now.
struct SavePlan {
    TSettings merged;              // the record with what others changed taken up
    StoredSettings after;          // the key once the writes are made
    std::vector<size_t> writes;    // in the stored order
};

}  // namespace

SettingsStore::SettingsStore(std::string programFolder, std::string hivePath)
    : programFolder_(std::move(programFolder)), hivePath_(hivePath.empty() ? userHivePath() : std::move(hivePath))
{
}

TSettings SettingsStore::load(Prompt& prompt)
{
    // Every field starts at its default, so one that cannot be read keeps the default rather
    // than a zero (LimitHistory 0 would erase every history generation).
    const TSettings def = defaultSettings(programFolder_);
    TSettings s = def;

    TRegistry(hivePath_).OpenKey(kSettingsKey, true);  // a key that cannot be made reads as all missing
    StoredSettings stored;
    const bool readable = readStored(hivePath_, stored) == 0;
    tellHiveNotice(prompt);

    std::vector<std::string> errors;
    for (size_t i = 0; i < kSettingsValueCount; ++i) {
        const SettingsValue& value = settingsValues()[i];
        const std::string name = value.name;
        bool present = true;
        try {
            if (!readable)
                throw ERegistryException(regGetDataFailedText(name));
            present = value.decode(value.name, stored[i], s, def);
        } catch (const ERegistryException& e) {
            errors.push_back(e.what());  // the field keeps its default
        }
        // A Mirroring value of the wrong type exists: that is no first run.
        if (name == "Mirroring" && !present)
            prompt.tell(kFirstRunCaption, kFirstRunText, PromptIcon::Information);
        // A key without LogFile in idle mode 2 was written by a version whose RLF figure had
        // another scale.
        if (name == "LogFile" && !present && s.IdleMode == 2)
            prompt.tell(kRlfWarningCaption, kRlfWarningText, PromptIcon::Warning);
    }

    if (!errors.empty()) {
        std::string text;
        for (const std::string& e : errors)
            text += (text.empty() ? "" : "\r\n") + e;
        prompt.tell(kErrorDialogCaption, text, PromptIcon::Error);
    }
    // A hive that could not be read says nothing about what is stored: the next save writes all.
    seen_ = readable ? std::optional<Seen>(Seen{s, stored}) : std::nullopt;
    return s;
}

void SettingsStore::refresh(TSettings& settings, Prompt& prompt)
{
    if (!seen_)
        return;
    StoredSettings now;
    const int err = readStored(hivePath_, now);
    tellHiveNotice(prompt);
    if (err != 0)
        return;
    const TSettings def = defaultSettings(programFolder_);
    for (size_t i = 0; i < kSettingsValueCount; ++i) {
        const SettingsValue& value = settingsValues()[i];
        const bool changedHere = !sameStored(value.encode(settings), value.encode(seen_->values));
        if (changedHere || !now[i] || sameStored(now[i], seen_->stored[i]))
            continue;
        // Another program stored it: taken up, unless it cannot be read.
        if (decodes(i, now[i], settings, def))
            decodes(i, now[i], seen_->values, def);
        seen_->stored[i] = now[i];
    }
}

bool SettingsStore::save(TSettings& settings, Prompt& prompt)
{
    const TSettings def = defaultSettings(programFolder_);
    auto plan = [&](const StoredSettings& now) {
        SavePlan p{settings, now, {}};
        for (size_t i = 0; i < kSettingsValueCount; ++i) {
            const SettingsValue& value = settingsValues()[i];
            const RegValue mine = value.encode(settings);
            // Not changed here, and another program stored it since: taken up, unless it cannot
            // be read. Every other value goes in where the key lacks it or holds another form.
            bool write = true;
            if (seen_ && sameStored(mine, value.encode(seen_->values)) && now[i] &&
                !sameStored(now[i], seen_->stored[i]))
                write = !decodes(i, now[i], p.merged, def);
            if (write && !sameStored(now[i], mine)) {
                p.writes.push_back(i);
                p.after[i] = mine;
            }
        }
        return p;
    };

    std::optional<SavePlan> planned;
    int err = updateHive(hivePath_, [&](Hive& hive) {
        planned = plan(storedIn(hive));
        if (planned->writes.empty())
            return HiveChange::None;
        // A key deleted by another program since it was read comes back.
        const Hive::KeyId key = hive.create(settingsKeyNames());
        for (size_t i : planned->writes)
            hive.setValue(key, settingsValues()[i].name, *planned->after[i]);
        return HiveChange::Changed;
    }).error();
    if (!planned) {
        // The hive could not even be locked: a save with nothing to write still succeeds.
        StoredSettings now;
        if (readStored(hivePath_, now) == 0) {
            planned = plan(now);
            if (planned->writes.empty())
                err = 0;
        }
    }
    tellHiveNotice(prompt);
    if (err != 0) {
        const size_t first = planned && !planned->writes.empty() ? planned->writes.front() : 0;
        prompt.tell(kErrorDialogCaption, regSetDataFailedText(settingsValues()[first].name), PromptIcon::Error);
        return false;
    }
    settings = planned->merged;
    seen_ = Seen{planned->merged, planned->after};
    return true;
}

TSettings LoadSettings(const std::string& programFolder, Prompt& prompt, const std::string& hivePath)
{
    return SettingsStore(programFolder, hivePath).load(prompt);
}

bool SaveSettings(const TSettings& settings, Prompt& prompt, const std::string& hivePath)
{
    TSettings record = settings;
    return SettingsStore({}, hivePath).save(record, prompt);
}

}  // namespace renvo
