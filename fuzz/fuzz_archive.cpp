// The archive engine on hostile archives: the input is written as a JAR into
// a fresh folder, opened, and every entry is extracted into a folder beside
// it; the folder goes after each input. Before that, a literal mask must
// select the same entries judged from the directory bytes as over entries
// all made. Failure questions are answered with
// Ignore, so every entry that fails is passed over and the next one tried.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "archive/ZipArchiver.h"
#include "archive/directory/ZipDirManager.h"
#include "archive/names/ZipSelect.h"
#include "platform/Errors.h"
#include "platform/Files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InstallIgnoreDialogs();
    return 0;
}

namespace {

void CheckSelectionFromHeaders(archive::TZipArchiver& zip, const std::string& mask) {
    archive::TZipDirArray& directory = zip.DirManager()->Directory;
    archive::SelectEntries(directory, mask, 10431, "", zip.Options);
    std::vector<bool> fromHeaders;
    for (int i = 0; i < directory.Count(); ++i) {
        fromHeaders.push_back(directory.IsSelected(i));
    }
    directory.NameIndex();  // every entry made
    archive::SelectEntries(directory, mask, 10431, "", zip.Options);
    for (int i = 0; i < directory.Count(); ++i) {
        if (directory.ItemAt(i).Selected != fromHeaders[static_cast<std::size_t>(i)]) {
            fuzz::Fail("a mask judged from the directory bytes selected otherwise");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::ScratchFolder folder;
    const std::string jar = folder.Path() + "input.jar";
    fuzz::WriteInputFile(jar, data, size);

    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    zip.FileName = jar;
    zip.BaseDir = folder.Path() + "out/";
    try {
        zip.Open();
        CheckSelectionFromHeaders(zip, "META-INF/MANIFEST.MF");
        zip.ExtractByMask("*.*", 10431, "");
    } catch (const platform::Exception&) {
        // A refused archive is an answer, not a finding.
    }
    zip.Close();

    // Extraction leaves the archive as it was (an empty file becomes an empty
    // archive when it is closed).
    if (size > 0 && fuzz::ReadInputFile(jar) != fuzz::AsText(data, size)) {
        fuzz::Fail("extraction changed the archive");
    }
    // Whatever the entry names say, nothing lands beside the output folder.
    for (const std::string& name : platform::ListFolder(folder.Path())) {
        if (name != "input.jar" && name != "out") {
            fuzz::Fail("extraction wrote \"" + name + "\" outside its folder");
        }
    }
    return 0;
}
