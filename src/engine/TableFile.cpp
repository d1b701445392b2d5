#include "engine/TableFile.h"

#include "engine/EFOpenError.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace renvo {

namespace {

constexpr size_t kWindow = 256 * kTableRecordSize;  // read from the file in pieces of this size
constexpr size_t kAddedInMemory = 16384 * kTableRecordSize;  // recorded blocks kept in memory, at most

}  // namespace

void TableBuffer::load(const std::string& path)
{
    file_.reset();
    spill_.reset();
    loaded_ = 0;
    spilled_ = 0;
    added_.clear();
    folder_ = extractFileDir(path);
    window_.clear();
    changed_ = false;
    fromFile_ = false;
    if (!pathExists(path))
        return;
    FdGuard fd(openForReadingNoWait(path));
    OpenFileInfo info;
    if (fd.get() < 0 || !describeOpenFile(fd.get(), info))
        throw EFOpenError{path, errno};
    // Only a regular file has records to read: anything else is no table and is replaced.
    if (info.folder)
        throw EFOpenError{path, EISDIR};
    if (info.regular) {
        // The file is only read from here on; a save puts a new file in its place.
        char probe;
        if (info.size > 0 && readFully(fd.get(), &probe, 1, 0) == 0 && errno != 0)
            throw EFOpenError{path, errno};
        loaded_ = static_cast<size_t>(info.size);
        file_ = std::move(fd);
    }
    fromFile_ = info.regular;
}

bool TableBuffer::fillWindow(int from, size_t base, size_t length, size_t offset) const
{
    windowAt_ = offset;
    window_.resize(std::min(kWindow, base + length - offset));
    // A file cut meanwhile reads as damage from there.
    window_.resize(readFully(from, window_.data(), window_.size(), offset - base));
    if (window_.size() >= kTableRecordSize)
        return true;
    window_.clear();
    return false;
}

TableBuffer::Record TableBuffer::recordAt(size_t offset) const
{
    Record r;
    if (offset + kTableRecordSize > size())
        return r;
    const char* p = nullptr;
    const size_t inMemory = loaded_ + spilled_;
    if (offset >= inMemory) {
        p = added_.data() + (offset - inMemory);
    } else {
        // A record across the end of a segment is never one of ours.
        const bool inFile = offset < loaded_;
        const size_t base = inFile ? 0 : loaded_, length = inFile ? loaded_ : spilled_;
        if (offset + kTableRecordSize > base + length)
            return r;
        if (window_.empty() || offset < windowAt_ || offset + kTableRecordSize > windowAt_ + window_.size() ||
            (windowAt_ < loaded_) != inFile) {
            if (!fillWindow(inFile ? file_.get() : spill_.get(), base, length, offset))
                return r;
        }
        p = window_.data() + (offset - windowAt_);
    }
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    r.type = u[0];
    r.text = std::string_view(p + 2, u[1]);
    return r;
}

bool TableBuffer::copyRange(int from, size_t length, int fd)
{
    std::string piece;
    for (size_t at = 0; at < length;) {
        piece.resize(std::min<size_t>(1 << 20, length - at));
        if (readFully(from, piece.data(), piece.size(), at) != piece.size()) {
            if (errno == 0)
                errno = EIO;  // cut since it was loaded
            return false;
        }
        if (!writeAll(fd, piece.data(), piece.size()))
            return false;
        at += piece.size();
    }
    return true;
}

void TableBuffer::spillAdded()
{
    if (added_.size() < kAddedInMemory || folder_.empty())
        return;
    if (spill_.get() < 0) {
        if (spilled_ > 0)
            return;
        // Nameless: nothing is left behind whatever becomes of the run.
        spill_.reset(openAnonymousFile(folder_));
        if (spill_.get() < 0) {
            folder_.clear();  // kept in memory then
            return;
        }
    }
    if (!writeAllAt(spill_.get(), added_.data(), added_.size(), spilled_))
        return;  // stays in memory; tried again with the next block
    spilled_ += added_.size();
    added_.clear();
}

std::string TableBuffer::bytes() const
{
    std::string out;
    out.reserve(size());
    for (const auto& [fd, length] : {std::pair<int, size_t>{file_.get(), loaded_}, {spill_.get(), spilled_}}) {
        const size_t start = out.size();
        out.resize(start + length);
        if (readFully(fd, out.data() + start, length, 0) != length)
            return {};
    }
    return out + added_;
}

int TableBuffer::save(const std::string& path) const
{
    return writeFileAtomicBy(path, [this](int fd) {
        return copyRange(file_.get(), loaded_, fd) && copyRange(spill_.get(), spilled_, fd) &&
               writeAll(fd, added_.data(), added_.size());
    }).error();
}

TableBuffer::Lookup TableBuffer::lookup(const std::string& address, std::vector<std::string>& files)
{
    files.clear();
    const Lookup found = lookup(address, [&files](std::string_view path) { files.emplace_back(path); });
    if (found != Lookup::Found)
        files.clear();
    return found;
}

TableBuffer::Lookup TableBuffer::lookup(const std::string& address, const std::function<void(std::string_view)>& each)
{
    const size_t total = size();
    if (total < kTableRecordSize)
        return Lookup::NotFound;

    // Search for the block's start record. A type-1 record closes the open block when it is
    // an end record and starts a block otherwise.
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t open = kNone;  // start record of the block being passed over
    size_t offset = 0;
    for (;; offset += kTableRecordSize) {
        const Record rec = recordAt(offset);
        if (rec.type > 1) {
            // A cut-off or foreign record: the rest, from the block it lies in, is not to be trusted.
            truncate(open != kNone ? open : offset);
            return Lookup::SearchError;
        }
        const bool last = offset + kTableRecordSize == total;
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
        const Record rec = recordAt(offset);
        if (rec.type > 1) {
            truncate(start);
            return Lookup::ReadError;
        }
        if (rec.type == 1 && rec.text == kTableEndText)
            break;
        if (rec.type == 1) {
            // The next block starts before this one ended: only this block is lost.
            erase(start, offset);
            dropUnsearched(start, address);
            return Lookup::ReadError;
        }
        if (offset + kTableRecordSize == total) {
            // The block has no end record: it was cut off and may miss files.
            truncate(start);
            return Lookup::ReadError;
        }
        each(rec.text);
    }
    return Lookup::Found;
}

void TableBuffer::dropUnsearched(size_t from, const std::string& address)
{
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t open = kNone;
    for (size_t offset = from; offset < size(); offset += kTableRecordSize) {
        const Record rec = recordAt(offset);
        if (rec.type > 1) {
            truncate(open != kNone ? open : offset);
            return;
        }
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

void TableBuffer::truncate(size_t newSize)
{
    if (newSize >= size())
        return;
    if (newSize <= loaded_) {
        loaded_ = newSize;
        spilled_ = 0;
        added_.clear();
    } else if (newSize <= loaded_ + spilled_) {
        spilled_ = newSize - loaded_;  // later blocks are written over the rest
        added_.clear();
    } else {
        added_.resize(newSize - loaded_ - spilled_);
    }
    window_.clear();
    changed_ = true;
}

void TableBuffer::erase(size_t from, size_t to)
{
    if (loaded_ + spilled_ > 0) {
        std::string all = bytes();
        if (all.size() != size())
            all.resize(std::min(all.size(), from));  // unreadable: keep what came before
        added_ = std::move(all);
        loaded_ = spilled_ = 0;
        file_.reset();
        spill_.reset();
        window_.clear();
    }
    if (from < added_.size())
        added_.erase(from, std::min(to, added_.size()) - from);
    changed_ = true;
}

void TableBuffer::appendRecord(unsigned char type, const std::string& text)
{
    spillAdded();
    char rec[kTableRecordSize] = {};
    rec[0] = static_cast<char>(type);
    rec[1] = static_cast<char>(text.size());
    std::memcpy(rec + 2, text.data(), text.size());
    added_.append(rec, kTableRecordSize);
}

bool TableBuffer::record(const std::string& address, const std::vector<std::string>& files)
{
    return record(address, files.size(), [&files](size_t i) { return files[i]; });
}

bool TableBuffer::record(const std::string& address, size_t count, const std::function<std::string(size_t)>& path)
{
    if (address.size() > 255)
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (path(i).size() > 255)
            return false;
    }
    // Records stay aligned even after a damaged tail.
    truncate(size() / kTableRecordSize * kTableRecordSize);
    changed_ = true;
    appendRecord(1, address);
    for (size_t i = 0; i < count; ++i)
        appendRecord(0, path(i));
    appendRecord(1, kTableEndText);
    return true;
}

}  // namespace renvo
