// Device profile files: what a file may say, what it may not (each refusal
// names its line), and where the shipped profiles come from.
#include <gtest/gtest.h>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "midlet/DeviceProfiles.h"

namespace {

struct ProfileText {
    const char* name;
    const char* text;
    const char* problem;  // null: read
};

const ProfileText kTexts[] = {
    {"Minimal", "[p]\nconfiguration = CLDC-1.0\nprofiles = MIDP-2.0\n", nullptr},
    {"CommentsAndBlanks",
     "# a phone\n\n[p]\n  configuration = CLDC-1.0  \r\nprofiles = MIDP-2.0 MIDP-1.0\n", nullptr},
    {"BaseFromTheShippedFile", "[p]\nbase = nokia-s40\ntitle = Mine\n", nullptr},
    {"FactBeforeSection", "configuration = CLDC-1.0\n", "line 1: a fact before the first [name]"},
    {"UnknownFact", "[p]\nconfiguration = CLDC-1.0\nspeed = fast\n",
     "line 3: \"speed\" is no fact of a device profile"},
    {"NoConfiguration", "[p]\nprofiles = MIDP-2.0\n", "[p] names no configuration or no profiles"},
    {"TwoConfigurations", "[p]\nconfiguration = CLDC-1.0 CLDC-1.1\n",
     "line 2: configuration: \"CLDC-1.0 CLDC-1.1\" is not a value it takes"},
    {"SizeNotANumber", "[p]\nbase = midp20-cldc11\njar-size-limit = 200K\n",
     "line 3: jar-size-limit: \"200K\" is not a value it takes"},
    {"BaseNotFirst", "[p]\ntitle = x\nbase = midp20-cldc11\n",
     "line 3: base must come first in its section"},
    {"BaseUnknown", "[p]\nbase = nokia-9999\n",
     "line 2: base: no profile \"nokia-9999\" before this one"},
    {"SectionWithBlank", "[my phone]\n",
     "line 1: a section is \"[name]\", the name without blanks"},
    {"RootsMissing", "[p]\nbase = midp20-cldc11\ntrusted-roots = none.pem\n",
     "none.pem cannot be read"},
};

class DeviceProfileText : public ::testing::TestWithParam<ProfileText> {};

TEST_P(DeviceProfileText, IsReadOrRefusedWithItsLine) {
    midlet::DeviceProfiles profiles;
    std::string problem;
    ASSERT_TRUE(profiles.Read(midlet::BuiltInDeviceProfileText(), ".", problem)) << problem;
    const std::size_t shipped = profiles.All().size();
    TestFolder folder;
    const bool read = profiles.Read(GetParam().text, folder / "", problem);
    if (GetParam().problem == nullptr) {
        EXPECT_TRUE(read) << problem;
        ASSERT_NE(profiles.Find("p"), nullptr);
        EXPECT_EQ(profiles.All().size(), shipped + 1);
    } else {
        EXPECT_FALSE(read);
        EXPECT_NE(problem.find(GetParam().problem), std::string::npos) << problem;
        EXPECT_EQ(profiles.All().size(), shipped) << "a refused file added profiles";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceProfileText, ::testing::ValuesIn(kTexts),
                         [](const auto& info) { return std::string(info.param.name); });

// Every shipped profile names what the phone runs, the default among them;
// a family's facts add to the generic phone's it starts from.
TEST(DeviceProfiles, ShippedProfilesBuildOnTheGenericPhone) {
    midlet::DeviceProfiles profiles;
    std::string problem;
    ASSERT_TRUE(profiles.Read(midlet::BuiltInDeviceProfileText(), ".", problem)) << problem;
    ASSERT_NE(profiles.Find(midlet::kDefaultDevice), nullptr);
    for (const char* name : {"midp20-cldc10", "midp20-cldc11", "midp21-cldc11", "motorola",
                             "nokia-s40", "nokia-s60", "sony-ericsson", "sagem"}) {
        const midlet::DeviceProfile* device = profiles.Find(name);
        ASSERT_NE(device, nullptr) << name;
        EXPECT_FALSE(device->title.empty()) << name;
        EXPECT_FALSE(device->permissions.empty()) << name;
        EXPECT_NE(midlet::DescribeDevice(*device).find(device->title), std::string::npos);
    }
    const midlet::DeviceProfile& motorola = *profiles.Find("motorola");
    EXPECT_EQ(motorola.nameLengthLimit, 32u);
    EXPECT_EQ(motorola.configuration, "CLDC-1.1");
    EXPECT_NE(motorola.sources.at("name-length-limit").find("C381p"), std::string::npos);
    EXPECT_TRUE(profiles.Find("nokia-s60")->iconRequired);
    EXPECT_EQ(profiles.Find("sagem")->jarSizeLimit, 204800u);
}

// An installed data file beside the program's bin folder is read instead of
// the built-in copy; a file that cannot be used leaves the built-in one.
TEST(DeviceProfiles, TheInstalledFileComesFirst) {
    TestFolder install;
    const std::string bin = install / "bin/";
    WriteBytes(install / "share/quellor/devices.ini",
               "[only]\nconfiguration = CLDC-1.1\nprofiles = MIDP-2.0\n");
    WriteBytes(bin + "placeholder", "");
    midlet::DeviceProfiles installed = midlet::ShippedDeviceProfiles(bin);
    ASSERT_EQ(installed.All().size(), 1u);
    EXPECT_EQ(installed.All()[0].name, "only");

    WriteBytes(install / "share/quellor/devices.ini", "[broken]\n");
    EXPECT_NE(midlet::ShippedDeviceProfiles(bin).Find(midlet::kDefaultDevice), nullptr);
    TestFolder bare;
    EXPECT_NE(midlet::ShippedDeviceProfiles(bare / "").Find(midlet::kDefaultDevice), nullptr);
}

// Trusted roots come from PEM files beside the profile file.
TEST(DeviceProfiles, ReadsTrustedRootsBesideTheFile) {
    TestFolder folder;
    ASSERT_EQ(
        Shell("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=root -days 2 -keyout " +
              Quote(folder / "root.key") + " -out " + Quote(folder / "root.pem") + " 2>/dev/null")
            .status,
        0);
    WriteBytes(folder / "mine.ini", "[mine]\nbase = midp20-cldc11\ntrusted-roots = root.pem\n");
    midlet::DeviceProfiles profiles;
    std::string problem;
    ASSERT_TRUE(profiles.Read(midlet::BuiltInDeviceProfileText(), ".", problem));
    ASSERT_TRUE(profiles.ReadFile(folder / "mine.ini", problem)) << problem;
    EXPECT_EQ(profiles.Find("mine")->trustedRoots.size(), 1u);
    EXPECT_TRUE(profiles.Find("midp20-cldc11")->trustedRoots.empty());
    EXPECT_FALSE(profiles.ReadFile(folder / "", problem));
    EXPECT_NE(problem.find("is a folder"), std::string::npos) << problem;
}

}  // namespace
