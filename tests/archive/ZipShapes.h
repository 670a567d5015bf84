// Archives of many valid shapes, written record by record where common
// writers never go: data prepended with and without offsets that count it,
// data descriptors with and without their signature, Zip64 sizes in the
// local headers, a directory in another order than the records, empty
// entries, stored archives inside the archive, bytes after a deflate
// stream, comments and bytes after the end record. The shape knows what
// every entry holds, and CheckShape asks the engine to agree: its list,
// every entry's bytes, and an update of one entry that leaves the others
// alone. Used by the shape test (with python's zipfile as a second judge)
// and by the shape fuzz target.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/ZipArchiver.h"
#include "archive/codec/ZipZlib.h"

namespace zip_shapes {

// Where the choices of a shape come from: a seeded generator, or the bytes
// of a fuzz input (zeros once they run out).
class Choices {
  public:
    virtual ~Choices() = default;
    // A number below `n` (0 when n is 0).
    virtual unsigned Pick(unsigned n) = 0;
    bool Chance(unsigned oneIn) { return Pick(oneIn) == 0; }
};

class SeededChoices : public Choices {
  public:
    explicit SeededChoices(unsigned seed) : random_(seed) {}
    unsigned Pick(unsigned n) override {
        return n == 0 ? 0 : std::uniform_int_distribution<unsigned>(0, n - 1)(random_);
    }

  private:
    std::mt19937 random_;
};

class ByteChoices : public Choices {
  public:
    ByteChoices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned Pick(unsigned n) override {
        if (n <= 1) {
            return 0;
        }
        unsigned value = 0;
        for (unsigned range = 1; range < n && range < (1u << 24); range <<= 8) {
            value = value << 8 | (at_ < size_ ? data_[at_++] : 0);
        }
        return value % n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

enum class Descriptor { None, Signed, Unsigned };

struct Entry {
    std::string name;  // UTF-8; a folder's ends with "/"
    std::string data;
    bool deflate = false;
    Descriptor descriptor = Descriptor::None;
    bool zip64Local = false;  // local sizes held in a Zip64 block
    bool utf8 = false;        // flag bit 11
    std::string padding;      // after the deflate stream, inside the compressed size
    std::string extra;        // extra blocks, in both headers
    bool IsFolder() const { return !name.empty() && name.back() == '/'; }
};

struct Shape {
    std::string prefix;
    bool offsetsCountPrefix = false;  // offsets are file positions
    std::vector<Entry> entries;       // in record order
    std::vector<int> order;           // directory order: indexes into entries
    std::string comment;
    std::string trailing;  // after the end record: the directory is not found
    std::string Describe() const;
};

// --- writing ---------------------------------------------------------------

inline void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

inline void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

inline void Put64(std::string& out, std::uint64_t value) {
    Put32(out, static_cast<std::uint32_t>(value));
    Put32(out, static_cast<std::uint32_t>(value >> 32));
}

inline std::string RawDeflate(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline std::uint32_t Crc(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

constexpr std::uint16_t kTime = 0x6000;  // 12:00:00
constexpr std::uint16_t kDate = 0x50A5;  // 2020-05-05

inline std::string Write(const Shape& shape) {
    std::string out = shape.prefix;
    const std::size_t base = shape.offsetsCountPrefix ? 0 : shape.prefix.size();
    struct Written {
        std::uint32_t crc, packed, size, offset;
        std::uint16_t flags, method;
    };
    std::vector<Written> written;
    for (const Entry& e : shape.entries) {
        const std::string packed = (e.deflate ? RawDeflate(e.data) : e.data) + e.padding;
        Written w{Crc(e.data),
                  static_cast<std::uint32_t>(packed.size()),
                  static_cast<std::uint32_t>(e.data.size()),
                  static_cast<std::uint32_t>(out.size() - base),
                  static_cast<std::uint16_t>((e.descriptor != Descriptor::None ? 0x0008 : 0) |
                                             (e.utf8 ? 0x0800 : 0)),
                  static_cast<std::uint16_t>(e.deflate ? 8 : 0)};
        written.push_back(w);
        const bool late = e.descriptor != Descriptor::None;
        Put32(out, 0x04034B50);
        Put16(out, e.zip64Local ? 45 : 20);
        Put16(out, w.flags);
        Put16(out, w.method);
        Put16(out, kTime);
        Put16(out, kDate);
        Put32(out, late ? 0 : w.crc);
        Put32(out, e.zip64Local ? 0xFFFFFFFF : late ? 0 : w.packed);
        Put32(out, e.zip64Local ? 0xFFFFFFFF : late ? 0 : w.size);
        Put16(out, static_cast<std::uint32_t>(e.name.size()));
        Put16(out, static_cast<std::uint32_t>((e.zip64Local ? 20 : 0) + e.extra.size()));
        out += e.name;
        if (e.zip64Local) {
            Put16(out, 1);
            Put16(out, 16);
            Put64(out, late ? 0 : w.size);
            Put64(out, late ? 0 : w.packed);
        }
        out += e.extra;
        out += packed;
        if (late) {
            if (e.descriptor == Descriptor::Signed) {
                Put32(out, 0x08074B50);
            }
            Put32(out, w.crc);
            if (e.zip64Local) {
                Put64(out, w.packed);
                Put64(out, w.size);
            } else {
                Put32(out, w.packed);
                Put32(out, w.size);
            }
        }
    }
    const std::size_t directory = out.size();
    for (const int i : shape.order) {
        const Entry& e = shape.entries[static_cast<std::size_t>(i)];
        const Written& w = written[static_cast<std::size_t>(i)];
        Put32(out, 0x02014B50);
        Put16(out, 20);
        Put16(out, e.zip64Local ? 45 : 20);
        Put16(out, w.flags);
        Put16(out, w.method);
        Put16(out, kTime);
        Put16(out, kDate);
        Put32(out, w.crc);
        Put32(out, w.packed);
        Put32(out, w.size);
        Put16(out, static_cast<std::uint32_t>(e.name.size()));
        Put16(out, static_cast<std::uint32_t>(e.extra.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, e.IsFolder() ? 0x10 : 0x20);
        Put32(out, w.offset);
        out += e.name + e.extra;
    }
    const std::size_t count = shape.order.size();
    const std::size_t directorySize = out.size() - directory;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(count));
    Put16(out, static_cast<std::uint32_t>(count));
    Put32(out, static_cast<std::uint32_t>(directorySize));
    Put32(out, static_cast<std::uint32_t>(directory - base));
    Put16(out, static_cast<std::uint32_t>(shape.comment.size()));
    out += shape.comment;
    return out + shape.trailing;
}

// --- making shapes ----------------------------------------------------------

inline std::string Noise(Choices& choices, std::size_t count) {
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(choices.Pick(256));
    }
    return bytes;
}

// Entry data: text that deflates well, noise, or bytes that look like
// records of an archive.
inline std::string Content(Choices& choices) {
    switch (choices.Pick(4)) {
        case 0:
            return {};
        case 1: {
            std::string text;
            const unsigned lines = 1 + choices.Pick(60);
            for (unsigned i = 0; i < lines; ++i) {
                text += "Line " + std::to_string(i * 7919 % 1000) + " of the resource\n";
            }
            return text;
        }
        case 2:
            return Noise(choices, 1 + choices.Pick(700));
        default:
            return "PK\x03\x04 and PK\x07\x08 and PK\x01\x02 inside" +
                   Noise(choices, choices.Pick(40));
    }
}

// Plain names and names that are no plain path; each names its own file.
inline const std::vector<std::string>& NamePool() {
    static const std::vector<std::string> names = {"META-INF/MANIFEST.MF",
                                                   "Game.class",
                                                   "img/icon.png",
                                                   "res/a.txt",
                                                   "res/deep/b.bin",
                                                   "x.",
                                                   "./c.txt",
                                                   "a//d.txt",
                                                   "arc\\test",
                                                   "empty.txt",
                                                   "z.dat",
                                                   "sound/hit.wav"};
    return names;
}

inline const std::vector<std::string>& Utf8NamePool() {
    static const std::vector<std::string> names = {
        "\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.txt", "caf\xC3\xA9/men\xC3\xBC.txt"};
    return names;
}

inline std::string StoredArchiveBytes(Choices& choices);

inline Shape MakeShape(Choices& choices, bool nested = true) {
    Shape shape;
    std::vector<std::string> names = NamePool();
    const unsigned count = 1 + choices.Pick(7);
    for (unsigned i = 0; i < count && !names.empty(); ++i) {
        Entry e;
        const unsigned pick = choices.Pick(static_cast<unsigned>(names.size()) + 3);
        if (pick < names.size()) {
            e.name = names[pick];
            names.erase(names.begin() + pick);
        } else if (pick == names.size() && nested) {
            e.name = "lib/inner" + std::to_string(i) + ".zip";
        } else if (pick == names.size() + 1) {
            e.name = "dir" + std::to_string(i) + "/";
        } else {
            e.name = Utf8NamePool()[i % 2];
            e.utf8 = true;
            if (std::any_of(shape.entries.begin(), shape.entries.end(),
                            [&](const Entry& o) { return o.name == e.name; })) {
                e.name = "u" + std::to_string(i) + e.name;
            }
        }
        if (e.IsFolder()) {
            shape.entries.push_back(e);
            continue;
        }
        const bool archiveInside = e.name.starts_with("lib/inner");
        e.data = archiveInside ? StoredArchiveBytes(choices) : Content(choices);
        e.deflate = !archiveInside && !choices.Chance(3);
        // A descriptor follows only data whose end can be told from the data.
        if (e.deflate && choices.Chance(3)) {
            e.descriptor = choices.Chance(2) ? Descriptor::Signed : Descriptor::Unsigned;
        }
        e.zip64Local = choices.Chance(5);
        if (e.deflate && choices.Chance(6)) {
            e.padding = Noise(choices, 1 + choices.Pick(9));
        }
        shape.entries.push_back(e);
    }
    for (int i = 0; i < static_cast<int>(shape.entries.size()); ++i) {
        shape.order.push_back(i);
    }
    if (choices.Chance(3)) {
        for (std::size_t i = shape.order.size(); i > 1; --i) {
            std::swap(shape.order[i - 1], shape.order[choices.Pick(static_cast<unsigned>(i))]);
        }
    }
    if (choices.Chance(3)) {
        shape.prefix = choices.Chance(2) ? Noise(choices, 1 + choices.Pick(300))
                                         : std::string("#!/bin/sh\nexit 0\nPK\x03\x04 stub\n");
        shape.offsetsCountPrefix = choices.Chance(2);
    }
    if (choices.Chance(4)) {
        shape.comment = "a comment" + std::string(choices.Pick(30), '!');
    }
    if (choices.Chance(6)) {
        shape.trailing = "trailing bytes";
    }
    return shape;
}

// A small archive to be stored inside another.
inline std::string StoredArchiveBytes(Choices& choices) {
    Shape inner = MakeShape(choices, false);
    inner.prefix.clear();
    inner.trailing.clear();
    return Write(inner);
}

inline std::string Shape::Describe() const {
    std::ostringstream out;
    out << "prefix " << prefix.size() << (offsetsCountPrefix ? " (in offsets)" : "") << ", comment "
        << comment.size() << ", trailing " << trailing.size() << ", order";
    for (const int i : order) {
        out << ' ' << i;
    }
    for (const Entry& e : entries) {
        out << "\n  " << e.name << ": " << e.data.size() << " bytes, "
            << (e.deflate ? "deflated" : "stored")
            << (e.descriptor == Descriptor::Signed     ? ", descriptor"
                : e.descriptor == Descriptor::Unsigned ? ", bare descriptor"
                                                       : "")
            << (e.zip64Local ? ", zip64 local" : "") << (e.utf8 ? ", utf-8" : "")
            << (e.padding.empty() ? "" : ", padded");
    }
    return out.str();
}

// --- the engine's view -------------------------------------------------------

class StringSink : public archive::EntrySink {
  public:
    std::size_t Write(const void* buffer, std::size_t count) override {
        bytes.append(static_cast<const char*>(buffer), count);
        return count;
    }
    std::string bytes;
};

// Name and bytes of every entry (folders hold none), in the engine's order.
using Listing = std::vector<std::pair<std::string, std::string>>;

inline Listing ReadWithEngine(const std::string& path) {
    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    zip.FileName = path;
    zip.Open();
    Listing listing;
    const archive::TZipDirArray& directory = zip.DirManager()->Directory;
    for (int i = 0; i < directory.Count(); ++i) {
        const archive::TDirItem& item = directory.ItemAt(i);
        StringSink sink;
        if (!item.IsFolder()) {
            zip.ExtractToStream(i, sink);
        }
        listing.emplace_back(item.Name, sink.bytes);
    }
    zip.Close();
    return listing;
}

// What the shape holds, in directory order; in record order when the
// directory cannot be found and the entries come from the local headers.
inline Listing Expected(const Shape& shape) {
    Listing listing;
    const bool rebuilt = !shape.trailing.empty();
    for (std::size_t k = 0; k < shape.entries.size(); ++k) {
        const Entry& e = shape.entries[rebuilt ? k : static_cast<std::size_t>(shape.order[k])];
        listing.emplace_back(e.name, e.data);
    }
    return listing;
}

// The file an entry's name leads to below `base`: separators of either
// kind, empty and "." steps dropped, and trailing dots and spaces, as the
// platform names files.
inline std::string FileOf(const std::string& base, const std::string& name) {
    std::string path = base;
    std::string step;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            if (!step.empty() && step != ".") {
                path += "/" + step.substr(0, step.find_last_not_of(". ") + 1);
            }
            step.clear();
        } else {
            step += name[i];
        }
    }
    return path;
}

// Writes new data for entry `index` of the listing below `base` and runs
// the update as the program does: in place, or, given `copyName`, into that
// copy of an archive opened read-only, which the archiver then works on.
inline void UpdateOne(const std::string& archivePath, const std::string& base,
                      const std::string& name, const std::string& data,
                      const std::string& copyName = {}) {
    const std::string file = FileOf(base, name);
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << data;
    // One time for every run, so that two updates with the same data give
    // the same bytes whatever lies between them.
    std::filesystem::last_write_time(
        file, std::chrono::file_clock::from_sys(
                  std::chrono::sys_seconds(std::chrono::seconds(1700000000))));
    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    zip.FileName = archivePath;
    zip.BaseDir = base;
    if (copyName.empty()) {
        zip.Open();
    } else {
        zip.OpenArchive(archive::OpenModeReadOnly);
        zip.CommitCopyName = copyName;
    }
    zip.UpdateByMask("*.*", 10431, "");
    const std::string workedOn = zip.FileName;
    zip.Close();
    if (!copyName.empty() && workedOn != copyName) {
        throw std::runtime_error("the archiver did not move to its copy");
    }
}

}  // namespace zip_shapes
