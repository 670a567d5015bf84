// The manifest text passes: the input is written as a manifest file and read
// back line by line, then the name pass and the descriptor pass run over the
// lines for both JAD kinds. The full kind's output goes through a text file
// once more and must read back as the same lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "midlet/ManifestText.h"
#include "midlet/Session.h"
#include "platform/TextFile.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    platform::TextFile file;
    file.Reset(path);
    while (!file.Eof()) {
        lines.push_back(file.ReadLn());
    }
    file.Close();
    return lines;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    platform::TextFile file;
    file.Rewrite(path);
    for (const std::string& line : lines) {
        file.WriteLn(line);
    }
    file.Close();
}

std::size_t CountContaining(const std::vector<std::string>& lines, const std::string& key) {
    std::size_t count = 0;
    for (const std::string& line : lines) {
        count += line.find(key) != std::string::npos ? 1 : 0;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::ScratchFolder folder;
    const std::string manifest = folder.Path() + "MANIFEST.MF";
    fuzz::WriteInputFile(manifest, data, size);
    const std::vector<std::string> lines = ReadLines(manifest);

    midlet::ProgramState state;
    const std::vector<std::string> named = midlet::NamePass(lines, state);
    if (named.size() != lines.size() || state.cleanedName.size() > midlet::kCleanedNameLength) {
        fuzz::Fail("the name pass changed the line count or left a long name");
    }

    std::string iconPath;
    const std::vector<std::string> full =
        midlet::DescriptorPass(named, midlet::JadKind::Full, state.cleanedName, iconPath);
    // The full kind keeps every line but those that only the JAD tail may
    // state (MIDlet-Jar-Size, MIDlet-Jar-URL and their continuation lines).
    if (full.size() > named.size() ||
        std::any_of(full.begin(), full.end(), midlet::IsJadTailLine)) {
        fuzz::Fail("the full descriptor pass added lines or kept a JAR size or place");
    }
    const std::vector<std::string> simple =
        midlet::DescriptorPass(named, midlet::JadKind::Simple, state.cleanedName, iconPath);
    if (simple.size() != CountContaining(named, "MIDlet-1:")) {
        fuzz::Fail("the simple descriptor pass kept other lines than MIDlet-1");
    }

    const std::string jad = folder.Path() + "Manifest.jad";
    WriteLines(jad, full);
    if (ReadLines(jad) != full) {
        fuzz::Fail("the full descriptor does not read back as written");
    }
    return 0;
}
