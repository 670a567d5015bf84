// Archives of many valid shapes, each judged by python's zipfile: it must
// read what the shape holds, the engine must list and extract the same, and
// after an update of one entry python must still find every other entry's
// bytes and the same number of entries.
#include <gtest/gtest.h>

#include "shape_judge.h"

namespace archive_test {
namespace {

using zip_shapes::Listing;

constexpr unsigned kShapes = 120;

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
        ASSERT_EQ(PythonContents(path), Lines(inDirectoryOrder));
        Listing ours;
        ASSERT_NO_THROW(ours = zip_shapes::ReadWithEngine(path));
        ASSERT_EQ(Lines(ours), Lines(expected));

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
        ASSERT_NO_THROW(zip_shapes::UpdateOne(path, scratch / ("base" + std::to_string(seed)),
                                              expected[target].first, data));
        expected[target].second = data;
        EXPECT_EQ(PythonContents(path), Lines(expected));
        EXPECT_EQ(Lines(zip_shapes::ReadWithEngine(path)), Lines(expected));
    }
}

}  // namespace
}  // namespace archive_test
