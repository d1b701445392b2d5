// The list file `_rvffl2` as users and crashes leave it: any bytes. Every whole record is read
// as decodeItem reads it, a trailing remainder is ignored, and encoding a decoded record gives
// back every byte that decoding read (the rest zero), so a load and save keep what the list held.

#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "engine/ListFile.h"
#include "platform/FileNames.h"

using namespace renvo;

namespace {

constexpr size_t kAddressAt = 2, kSubfoldersAt = 258, kMasksAt = 259, kOptionAt = 515, kDestAt = 516,
                 kEveryRunAt = 776;

bool sameItem(const MirrorItem& a, const MirrorItem& b)
{
    return a.runFlag == b.runFlag && a.kind == b.kind && a.address == b.address && a.subfolders == b.subfolders &&
           a.masks == b.masks && a.folderOption == b.folderOption && a.dest == b.dest && a.everyRun == b.everyRun;
}

bool sameItems(const std::vector<MirrorItem>& a, const std::vector<MirrorItem>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!sameItem(a[i], b[i]))
            return false;
    }
    return true;
}

// Which bytes of this record decodeItem reads: the flag bytes and each short string's length
// byte and as many text bytes as it says.
void markRead(const uint8_t* record, bool* read)
{
    std::memset(read, 0, kItemRecordSize);
    for (size_t at : {size_t{0}, size_t{1}, kSubfoldersAt, kOptionAt, kEveryRunAt})
        read[at] = true;
    for (size_t at : {kAddressAt, kMasksAt, kDestAt}) {
        read[at] = true;
        for (size_t i = 0; i < record[at]; ++i)
            read[at + 1 + i] = true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& dir = fuzz::scratchFolder("fuzz_listfile");
    const std::string list = dir + "/" + kListFileName;
    fuzz::putFile(list, data, size);
    const size_t whole = size / kItemRecordSize;

    const std::vector<MirrorItem> items = readListFile(list);
    FUZZ_CHECK(items.size() == whole);
    {
        ListReader reader(list);
        FUZZ_CHECK(reader.count() == whole);
        MirrorItem item;
        size_t n = 0;
        while (reader.next(item)) {
            FUZZ_CHECK(n < whole);
            FUZZ_CHECK(sameItem(item, items[n]));
            ++n;
        }
        FUZZ_CHECK(n == whole);
        FUZZ_CHECK(!reader.next(item));
    }

    for (size_t i = 0; i < whole; ++i) {
        const uint8_t* record = data + i * kItemRecordSize;
        const MirrorItem item = decodeItem(record);
        FUZZ_CHECK(sameItem(item, items[i]));
        uint8_t again[kItemRecordSize];
        encodeItem(item, again);
        bool read[kItemRecordSize];
        markRead(record, read);
        for (size_t b = 0; b < kItemRecordSize; ++b)
            FUZZ_CHECK(again[b] == (read[b] ? record[b] : 0));
        FUZZ_CHECK(sameItem(decodeItem(again), item));
    }

    // Written and read back, the list holds the same items, in whole records only.
    FUZZ_CHECK(writeListFile(list, items) == 0);
    const std::string written = fuzz::getFile(list);
    FUZZ_CHECK(written.size() == whole * kItemRecordSize);
    FUZZ_CHECK(sameItems(readListFile(list), items));

    // Dropping an address removes exactly its records and keeps the others' bytes in order.
    if (whole > 0) {
        fuzz::putFile(list, data, size);
        const std::string address = items[whole - 1].address;
        std::string kept;
        size_t expected = 0;
        for (size_t i = 0; i < whole; ++i) {
            if (items[i].address == address)
                ++expected;
            else
                kept.append(reinterpret_cast<const char*>(data) + i * kItemRecordSize, kItemRecordSize);
        }
        FUZZ_CHECK(dropItems(dir, {address}) == expected);
        FUZZ_CHECK(expected > 0);
        FUZZ_CHECK(fuzz::getFile(list) == kept);
    }
    return 0;
}
