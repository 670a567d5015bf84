// Failures in the user's words: every native error of the archive engine
// has a sentence, no sentence leaks an engine number, and the file an
// engine message names stays in the sentence.
#include "midlet/PlainMessages.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "midlet/Batch.h"

namespace {

using midlet::PlainFailureText;

bool Leaks(const std::string& text) {
    return text.find("Native error") != std::string::npos || text.find("%s") != std::string::npos ||
           text.find("%d") != std::string::npos;
}

// A new native error fails here until it is given a sentence.
TEST(PlainMessages, EveryNativeErrorHasASentence) {
    for (int code = 0; code <= archive::native::Highest; ++code) {
        SCOPED_TRACE(code);
        const char* sentence = midlet::ArchiveErrorSentence(code);
        ASSERT_NE(sentence, nullptr);
        const archive::EZipException failure(code, nullptr, {std::string("/cards/a.jar"), 7, 9});
        const std::string text = PlainFailureText(std::make_exception_ptr(failure));
        EXPECT_FALSE(Leaks(text)) << text;
        EXPECT_EQ(text.back(), '.');
        // A path the engine's message names stays in the sentence.
        if (std::string(sentence).find("%s") != std::string::npos) {
            EXPECT_NE(text.find("\"/cards/a.jar\""), std::string::npos) << text;
        }
    }
    EXPECT_EQ(midlet::ArchiveErrorSentence(archive::native::Highest + 1), nullptr);
    EXPECT_EQ(midlet::ArchiveErrorSentence(-1), nullptr);
}

TEST(PlainMessages, EachKindOfFailureIsTold) {
    const struct {
        std::exception_ptr failure;
        std::string text;
    } cases[] = {
        {std::make_exception_ptr(archive::EZipException(archive::native::InvalidArchive, nullptr)),
         "no ZIP archive: no ZIP record was found in it."},
        {std::make_exception_ptr(archive::EZipException(archive::native::ArchiveNotFound, nullptr,
                                                        {std::string("/x/missing.zip")})),
         "no such file."},
        {std::make_exception_ptr(midlet::NoManifestError()),
         "no META-INF/MANIFEST.MF in it, so it is no MIDlet suite."},
        {std::make_exception_ptr(platform::EInOutError(platform::ERROR_DISK_FULL)),
         "the disk is full."},
        {std::make_exception_ptr(platform::EInOutError(1117)), "the system reported error 1117."},
        {std::make_exception_ptr(platform::Exception("MIDlet-Name not found in the manifest")),
         "MIDlet-Name not found in the manifest."},
        // A JAR's failure is told by what caused it.
        {std::make_exception_ptr(midlet::JarFailure(
             "/x/a.jar", "File not found", std::make_exception_ptr(midlet::NoManifestError()))),
         "no META-INF/MANIFEST.MF in it, so it is no MIDlet suite."},
        {std::make_exception_ptr(42), "an unknown failure."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlainFailureText(c.failure), c.text);
    }
}

// The questions of the engine, as the headless tools print them.
TEST(PlainMessages, QuestionsLoseTheEngineNumber) {
    const std::string damaged =
        archive::ComposeZipMessage(archive::native::CorruptedEntry, nullptr, {}) +
        ". File processing error, possibly disk is full";
    EXPECT_EQ(midlet::PlainQuestionText(damaged),
              std::string(midlet::ArchiveErrorSentence(archive::native::CorruptedEntry)) + ".");
    const std::string create = archive::ComposeZipMessage(archive::native::CannotCreateFile,
                                                          nullptr, {std::string("/out/../up")});
    EXPECT_EQ(midlet::PlainQuestionText(create).rfind("cannot create the file \"/out/../up\"", 0),
              0u);
    EXPECT_EQ(midlet::PlainQuestionText("Overwrite?"), "Overwrite?");
}

}  // namespace
