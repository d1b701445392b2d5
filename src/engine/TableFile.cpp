#include "engine/TableFile.h"

#include "engine/EFOpenError.h"
#include "platform/FileSys.h"

#include <cerrno>
#include <cstring>

namespace renvo {

namespace {

struct RecordView {
    unsigned char type;
    std::string_view text;
};

RecordView recordAt(const std::string& buf, size_t offset)
{
    const auto* p = reinterpret_cast<const unsigned char*>(buf.data() + offset);
    return {p[0], std::string_view(buf.data() + offset + 2, p[1])};
}

}  // namespace

void TableBuffer::load(const std::string& path)
{
    buffer_.clear();
    changed_ = false;
    fromFile_ = false;
    if (!pathExists(path))
        return;
    if (const int err = readWholeFile(path, buffer_); err != 0) {
        buffer_.clear();
        throw EFOpenError{path, err};
    }
    fromFile_ = true;
}

int TableBuffer::save(const std::string& path) const
{
    return writeFileAtomic(path, buffer_);
}

TableBuffer::Lookup TableBuffer::lookup(const std::string& address, std::vector<std::string>& files)
{
    files.clear();
    const size_t size = buffer_.size();
    if (size < kTableRecordSize)
        return Lookup::NotFound;

    // Search for the block's start record. A type-1 record closes the open block when it is
    // an end record and starts a block otherwise.
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t open = kNone;  // start record of the block being passed over
    size_t offset = 0;
    for (;; offset += kTableRecordSize) {
        if (offset + kTableRecordSize > size || recordAt(buffer_, offset).type > 1) {
            // A cut-off or foreign record: the rest, from the block it lies in, is not to be trusted.
            truncate(open != kNone ? open : offset);
            return Lookup::SearchError;
        }
        const RecordView rec = recordAt(buffer_, offset);
        const bool last = offset + kTableRecordSize == size;
        if (rec.type == 1 && rec.text != kTableEndText) {
            if (rec.text == address)
                break;
            open = offset;
        } else if (rec.type == 1) {
            open = kNone;
        }
        if (last) {
            if (open == kNone)
                return Lookup::NotFound;
            // The buffer ends inside a block: it was cut off and may miss files. A block
            // recorded after it would be read as its end.
            truncate(open);
            return Lookup::SearchError;
        }
    }

    // Read the block's entries up to its end record.
    const size_t start = offset;
    for (offset += kTableRecordSize;; offset += kTableRecordSize) {
        if (offset + kTableRecordSize > size || recordAt(buffer_, offset).type > 1) {
            files.clear();
            truncate(start);
            return Lookup::ReadError;
        }
        const RecordView rec = recordAt(buffer_, offset);
        if (rec.type == 1 && rec.text == kTableEndText)
            break;
        if (rec.type == 1) {
            // The next block starts before this one ended: only this block is lost.
            files.clear();
            buffer_.erase(start, offset - start);
            changed_ = true;
            dropUnsearched(start, address);
            return Lookup::ReadError;
        }
        if (offset + kTableRecordSize == size) {
            // The block has no end record: it was cut off and may miss files.
            files.clear();
            truncate(start);
            return Lookup::ReadError;
        }
        files.emplace_back(rec.text);
    }
    return Lookup::Found;
}

void TableBuffer::dropUnsearched(size_t from, const std::string& address)
{
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t open = kNone;
    for (size_t offset = from; offset < buffer_.size(); offset += kTableRecordSize) {
        if (offset + kTableRecordSize > buffer_.size() || recordAt(buffer_, offset).type > 1) {
            truncate(open != kNone ? open : offset);
            return;
        }
        const RecordView rec = recordAt(buffer_, offset);
        if (rec.type != 1)
            continue;
        if (rec.text == kTableEndText) {
            open = kNone;
        } else if (rec.text == address) {
            // An older block of the same folder would be found before the fresh one.
            truncate(offset);
            return;
        } else {
            open = offset;
        }
    }
    if (open != kNone)
        truncate(open);
}

void TableBuffer::truncate(size_t size)
{
    if (size < buffer_.size()) {
        buffer_.resize(size);
        changed_ = true;
    }
}

void TableBuffer::appendRecord(unsigned char type, const std::string& text)
{
    char rec[kTableRecordSize] = {};
    rec[0] = static_cast<char>(type);
    rec[1] = static_cast<char>(text.size());
    std::memcpy(rec + 2, text.data(), text.size());
    buffer_.append(rec, kTableRecordSize);
}

bool TableBuffer::record(const std::string& address, const std::vector<std::string>& files)
{
    if (address.size() > 255)
        return false;
    for (const std::string& f : files) {
        if (f.size() > 255)
            return false;
    }
    // Records stay aligned even after a damaged tail.
    truncate(buffer_.size() / kTableRecordSize * kTableRecordSize);
    buffer_.reserve(buffer_.size() + (files.size() + 2) * kTableRecordSize);
    changed_ = true;
    appendRecord(1, address);
    for (const std::string& f : files)
        appendRecord(0, f);
    appendRecord(1, kTableEndText);
    return true;
}

}  // namespace renvo
