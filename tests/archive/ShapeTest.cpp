// Archives of many valid shapes, each judged by python's zipfile: it must
// read what the shape holds, the engine must list and extract the same, and
// after an update of one entry python must still find every other entry's
// bytes and the same number of entries.
#include <gtest/gtest.h>

#include "ShapeJudge.h"

namespace archive_test {
namespace {

using zip_shapes::Listing;

constexpr unsigned kShapes = 120;

// The engine's reading as Lines gives it, or why it refused the archive.
std::string EngineLines(const std::string& path) {
    try {
        return Lines(zip_shapes::ReadWithEngine(path));
    } catch (const std::exception& e) {
        return std::string("refused: ") + e.what();
    }
}

TEST(Shapes, PythonAndTheEngineReadTheSameAndAnUpdateKeepsTheRest) {
    ScratchFolder scratch;
    for (unsigned seed = 1; seed <= kShapes; ++seed) {
        zip_shapes::SeededChoices choices(seed);
        const zip_shapes::Shape shape = zip_shapes::MakeShape(choices);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ": " << shape.Describe());
        const std::string path = scratch / ("shape" + std::to_string(seed) + ".zip");
        WriteBytes(path, zip_shapes::Write(shape));

        Listing expected = zip_shapes::Expected(shape);
        // python reads the directory even behind trailing bytes, in its order.
        Listing inDirectoryOrder;
        for (const int i : shape.order) {
            const zip_shapes::Entry& e = shape.entries[static_cast<std::size_t>(i)];
            inDirectoryOrder.emplace_back(e.name, e.data);
        }
        // Every shape is tried; the first failure of one ends its turn.
        const std::string python = PythonContents(path);
        if (python != Lines(inDirectoryOrder)) {
            ADD_FAILURE() << "python reads\n"
                          << python << "the shape holds\n"
                          << Lines(inDirectoryOrder);
            continue;
        }
        const std::string ours = EngineLines(path);
        if (ours != Lines(expected)) {
            ADD_FAILURE() << "the engine reads\n" << ours << "the shape holds\n" << Lines(expected);
            continue;
        }

        // An update of one file entry, chosen by the seed.
        std::vector<std::size_t> files;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            if (expected[k].first.back() != '/') {
                files.push_back(k);
            }
        }
        if (files.empty()) {
            continue;
        }
        const std::size_t target = files[seed % files.size()];
        const std::string data = "new data of seed " + std::to_string(seed) + "\n";
        try {
            zip_shapes::UpdateOne(path, scratch / ("base" + std::to_string(seed)),
                                  expected[target].first, data);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "update of " << expected[target].first << ": " << e.what();
            continue;
        }
        expected[target].second = data;
        EXPECT_EQ(PythonContents(path), Lines(expected));
        EXPECT_EQ(EngineLines(path), Lines(expected));
    }
}

}  // namespace
}  // namespace archive_test
