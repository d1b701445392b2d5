// The table file `Renvo.ctf` as users and crashes leave it: any bytes, loaded whole. Every
// look-up ends, and one that meets damage drops it so that the block recorded next for that
// address is the one found; a record always lands on a record boundary; save and load keep
// the bytes.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "engine/TableFile.h"
#include "platform/FileNames.h"

using namespace renvo;

namespace {

// Addresses worth looking up: the start records' texts found at record boundaries of the
// input, then fixed ones (absent ones, the end record's text, the empty text).
std::vector<std::string> addressesOf(const std::string& bytes)
{
    std::vector<std::string> out;
    for (size_t at = 0; at + 2 <= bytes.size() && out.size() < 24; at += kTableRecordSize) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        if (p[0] != 1)
            continue;
        const size_t length = std::min<size_t>(p[1], bytes.size() - at - 2);
        out.emplace_back(bytes.data() + at + 2, length);
    }
    for (const char* fixed : {"/home/me/docs", "", kTableEndText, "/home/me/docs/sub"})
        out.emplace_back(fixed);
    return out;
}

std::vector<std::string> filesFor(const std::string& address, size_t n)
{
    std::vector<std::string> files;
    for (size_t i = 0; i < n; ++i)
        files.push_back((address.size() > 240 ? address.substr(0, 240) : address) + "/f" + std::to_string(i));
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& dir = fuzz::scratchFolder("fuzz_table");
    const std::string path = dir + "/" + kTableFileName;
    const std::string input(reinterpret_cast<const char*>(data), size);
    fuzz::putFile(path, data, size);

    TableBuffer table;
    table.load(path);
    FUZZ_CHECK(table.bytes() == input);
    FUZZ_CHECK(!table.needsSave());

    size_t round = 0;
    for (const std::string& address : addressesOf(input)) {
        ++round;
        const std::string before = table.bytes();
        std::vector<std::string> files{"left over"};
        const TableBuffer::Lookup found = table.lookup(address, files);
        if (found == TableBuffer::Lookup::Found) {
            FUZZ_CHECK(table.bytes() == before);
            for (const std::string& f : files)
                FUZZ_CHECK(f.size() <= 255);
            std::vector<std::string> again;
            FUZZ_CHECK(table.lookup(address, again) == TableBuffer::Lookup::Found);
            FUZZ_CHECK(again == files);
            FUZZ_CHECK(table.bytes() == before);
            continue;
        }
        FUZZ_CHECK(files.empty());
        if (found == TableBuffer::Lookup::NotFound)
            FUZZ_CHECK(table.bytes() == before);
        else
            FUZZ_CHECK(table.bytes().size() < before.size());  // the damage was dropped

        // A run lists the folder afresh and records it; a path too long for a record leaves
        // the table as it is.
        if (address == kTableEndText)
            continue;  // no address of a run: they are full paths
        const std::string unchanged = table.bytes();
        FUZZ_CHECK(!table.record(address, {std::string(256, 'x')}));
        FUZZ_CHECK(table.bytes() == unchanged);
        const std::vector<std::string> fresh = filesFor(address, round % 4);
        FUZZ_CHECK(table.record(address, fresh));
        FUZZ_CHECK(table.bytes().size() % kTableRecordSize == 0);
        FUZZ_CHECK(table.bytes().size() >= (fresh.size() + 2) * kTableRecordSize);
        FUZZ_CHECK(table.needsSave());
        std::vector<std::string> got;
        FUZZ_CHECK(table.lookup(address, got) == TableBuffer::Lookup::Found);
        FUZZ_CHECK(got == fresh);
    }

    // What is saved loads as the same bytes, and then needs no save.
    const std::string saved = dir + "/saved.ctf";
    FUZZ_CHECK(table.save(saved) == 0);
    TableBuffer reloaded;
    reloaded.load(saved);
    FUZZ_CHECK(reloaded.bytes() == table.bytes());
    FUZZ_CHECK(!reloaded.needsSave());
    return 0;
}
