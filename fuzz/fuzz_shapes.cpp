// Archives of valid shapes, built from the fuzz input (the shape test's
// generator, its choices taken from the input's bytes): the engine must
// list and extract what each one holds, and after an update of one entry
// find the new data there and every other entry as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ZipShapes.h"
#include "platform/Errors.h"

namespace {

std::string Describe(const zip_shapes::Listing& listing) {
    std::string text;
    for (const auto& [name, data] : listing) {
        text += "\n  " + name + ": " + std::to_string(data.size()) + " bytes";
    }
    return text;
}

// Reads the archive with the engine and compares; a refusal is a finding
// too, since every shape is a valid archive.
void Expect(const std::string& path, const zip_shapes::Listing& expected,
            const zip_shapes::Shape& shape, const std::string& when) {
    zip_shapes::Listing read;
    try {
        read = zip_shapes::ReadWithEngine(path);
    } catch (const platform::Exception& e) {
        fuzz::Fail(when + ": refused (" + e.what() + ")\n" + shape.Describe());
    }
    if (read != expected) {
        fuzz::Fail(when + ": read" + Describe(read) + "\nexpected" + Describe(expected) + "\n" +
                   shape.Describe());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InstallIgnoreDialogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zip_shapes::ByteChoices choices(data, size);
    const zip_shapes::Shape shape = zip_shapes::MakeShape(choices);
    const fuzz::ScratchFolder folder;
    const std::string path = folder.Path() + "shape.zip";
    const std::string bytes = zip_shapes::Write(shape);
    fuzz::WriteInputFile(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());

    zip_shapes::Listing expected = zip_shapes::Expected(shape);
    Expect(path, expected, shape, "as written");

    std::vector<std::size_t> files;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        if (expected[k].first.back() != '/') {
            files.push_back(k);
        }
    }
    if (files.empty()) {
        return 0;
    }
    const std::size_t target = files[choices.Pick(static_cast<unsigned>(files.size()))];
    try {
        zip_shapes::UpdateOne(path, folder.Path() + "base", expected[target].first, "new data");
    } catch (const platform::Exception& e) {
        fuzz::Fail("update of " + expected[target].first + " failed (" + e.what() + ")\n" +
                   shape.Describe());
    }
    expected[target].second = "new data";
    Expect(path, expected, shape, "after the update of " + expected[target].first);
    return 0;
}
