// Real JARs for the preparation tests: built with `zip` or `jar` from files
// written here, read back with `unzip` and python3's zipfile; and a program
// folder in a fresh temporary folder to run the preparation in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestCommands.h"
#include "TestFiles.h"
#include "archive/ZipArchiver.h"
#include "midlet/Batch.h"
#include "midlet/RecordingOutput.h"
#include "midlet/ScratchFolder.h"
#include "platform/Dialogs.h"

namespace preptest {

namespace fs = std::filesystem;

// Names in a folder, sorted; folders end in "/".
inline std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A real 1x1 PNG (red pixel).
inline std::string TinyPng() {
    static const unsigned char bytes[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00,
        0x00, 0x90, 0x77, 0x53, 0xDE, 0x00, 0x00, 0x00, 0x0C, 0x49, 0x44, 0x41, 0x54, 0x08,
        0xD7, 0x63, 0xF8, 0xCF, 0xC0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0x18, 0xDD, 0x8D,
        0xB0, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Stand-in bytes of a class file: the magic number and some body.
inline std::string ClassBytes(const std::string& seed) {
    return std::string("\xCA\xFE\xBA\xBE\x00\x00\x00\x32", 8) + seed + std::string(200, 'x');
}

using Files = std::vector<std::pair<std::string, std::string>>;  // stored name, bytes

// A JAR made by `zip`: the manifest (when given) as META-INF/MANIFEST.MF
// first, then the files in order, all deflated.
inline void MakeZipJar(const std::string& jar, const std::optional<std::string>& manifest,
                       const Files& files = {}) {
    const std::string stage = jar + ".stage/";
    std::vector<std::string> names;
    if (manifest) {
        WriteBytes(stage + "META-INF/MANIFEST.MF", *manifest);
        names.push_back("META-INF/MANIFEST.MF");
    }
    for (const auto& [name, bytes] : files) {
        WriteBytes(stage + name, bytes);
        names.push_back(name);
    }
    std::string command =
        "cd " + Quote(stage) + " && rm -f " + Quote(jar) + " && zip -q -X " + Quote(jar);
    for (const std::string& name : names) {
        command.append(" ").append(Quote(name));
    }
    ASSERT_EQ(Shell(command).status, 0) << command;
    fs::remove_all(stage);
}

// A JAR made by `jar` with this manifest text (it adds Manifest-Version and
// Created-By) and these files.
inline void MakeJarToolJar(const std::string& jar, const std::string& manifest,
                           const Files& files) {
    const std::string stage = jar + ".stage/";
    WriteBytes(stage + "manifest.txt", manifest);
    for (const auto& [name, bytes] : files) {
        WriteBytes(stage + "content/" + name, bytes);
    }
    const std::string command = "rm -f " + Quote(jar) + " && jar --create --file " + Quote(jar) +
                                " --manifest " + Quote(stage + "manifest.txt") + " -C " +
                                Quote(stage + "content") + " .";
    ASSERT_EQ(Shell(command).status, 0) << command;
    fs::remove_all(stage);
}

// One entry's bytes as unzip gives them (name matched without regard to case).
inline std::string EntryBytes(const std::string& jar, const std::string& name) {
    return Shell("unzip -p -C " + Quote(jar) + " " + Quote(name) + " 2>/dev/null").out;
}

// True when `unzip -t` and python's zipfile both find the archive sound.
inline bool ArchiveIsSound(const std::string& jar) {
    const std::string python =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "sys.exit(0 if z.testzip() is None else 1)\n";
    return Shell("unzip -tq " + Quote(jar) + " >/dev/null 2>&1").status == 0 &&
           Shell("python3 -c " + Quote(python) + " " + Quote(jar) + " 2>/dev/null").status == 0;
}

// The entry names of an archive in directory order, as python reads them.
inline std::string EntryNames(const std::string& jar) {
    return Shell("python3 -c " +
                 Quote("import sys, zipfile\n"
                       "print('\\n'.join(zipfile.ZipFile(sys.argv[1]).namelist()))") +
                 " " + Quote(jar))
        .out;
}

inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "\"" << part << "\" is not in \"" << text << "\"";
}

inline std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The bytes of a JAR with the DOS time and date of every local and central
// header cleared: the rewritten manifest takes the time it was written.
inline std::string WithoutEntryTimes(std::string jar) {
    const auto u16 = [&](std::size_t at) -> std::uint32_t {
        return at + 2 <= jar.size() ? static_cast<unsigned char>(jar[at]) |
                                          static_cast<unsigned char>(jar[at + 1]) << 8
                                    : 0;
    };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const auto clear = [&](std::size_t at) {
        if (at + 4 <= jar.size()) {
            jar.replace(at, 4, 4, '\0');
        }
    };
    const std::size_t end = jar.rfind("PK\x05\x06");
    if (end == std::string::npos) {
        return jar;
    }
    std::size_t at = u32(end + 16);
    for (std::uint32_t n = u16(end + 10); n > 0 && jar.compare(at, 4, "PK\x01\x02") == 0; --n) {
        clear(at + 12);
        clear(u32(at + 42) + 10);
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
    return jar;
}

// What the projects folder holds: every path below it, folders ending in
// "/", with the files' bytes (a JAR's without its entry times).
using Tree = std::map<std::string, std::string>;

inline Tree ProjectsTree(const std::string& projects) {
    Tree tree;
    if (!fs::is_directory(projects)) {
        return tree;
    }
    for (const auto& entry : fs::recursive_directory_iterator(projects)) {
        const std::string name = fs::relative(entry.path(), projects).string();
        if (entry.is_directory()) {
            tree[name + "/"] = "";
        } else {
            const std::string bytes = ReadBytes(entry.path().string());
            tree[name] = entry.path().extension() == ".jar" ? WithoutEntryTimes(bytes) : bytes;
        }
    }
    return tree;
}

// A program folder in a fresh temporary folder, with the window's component
// `Zip`, the program-wide values, a recorded output and a scripted dialog
// hook. Sources of the listed JARs go to Path() + "in/".
class Workspace : public ::testing::Test {
  protected:
    Workspace() { archive::ApplyFormValues(zip); }

    std::string Program() const { return folder.Path(); }
    std::string In(const std::string& name) const { return folder.Path() + "in/" + name; }
    std::string Temp(const std::string& name = "") const { return Program() + "temp/" + name; }
    std::string Projects(const std::string& name = "") const {
        return Program() + "projects/" + name;
    }
    // What the temp folder holds besides the workspace lock file and the
    // records of which suite made each project.
    std::vector<std::string> TempLeftovers() const {
        std::vector<std::string> names = FolderNames(Temp());
        std::erase(names, ".workspace-lock");
        std::erase(names, ".suites/");
        return names;
    }

    // One run over `list` with the options as they stand.
    void Run(const std::vector<std::string>& list) {
        options.list = list;
        midlet::RunContext run{options, state, output, zip, Program()};
        midlet::RunBatch(run);
    }

    // One run that must fail; gives the failure's message.
    std::string RunFailing(const std::vector<std::string>& list) {
        try {
            Run(list);
        } catch (const std::exception& e) {
            return e.what();
        }
        ADD_FAILURE() << "the run did not fail";
        return {};
    }

    midlet::ScratchFolder folder;
    midlet::RunOptions options;
    midlet::ProgramState state;
    midlet::RecordingOutput output;
    archive::TZipArchiver zip{"Zip"};
    platform::ScriptedDialogs dialogs;
    platform::DialogsGuard guard{dialogs};
};

// A manifest of a MIDlet named `name` with its icon, as a build tool writes
// it (CR LF line ends, an empty line at the end).
inline std::string SimpleManifest(const std::string& name, const std::string& icon = "/icon.png") {
    return "Manifest-Version: 1.0\r\nMIDlet-Name: " + name + "\r\nMIDlet-Vendor: Tests\r\n" +
           "MIDlet-1: " + name + ", " + icon + ", t.Main\r\n\r\n";
}

}  // namespace preptest
