// The corpus of archives and MIDlets written by other tools. It lives outside
// this repository (the build's QUELLOR_CORPUS_DIR), so a clone of the
// repository alone has none: a test that reads it starts with
// QUELLOR_SKIP_WITHOUT_CORPUS(), which skips it and says why. Where the
// corpus is present nothing is skipped, and a file missing from it fails.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

inline bool CorpusPresent() {
    return std::filesystem::is_directory(QUELLOR_CORPUS_DIR);
}

// Skips the current test when the corpus folder is missing. Usable in a test
// body or in a fixture's SetUp.
#define QUELLOR_SKIP_WITHOUT_CORPUS()                      \
    if (CorpusPresent()) {                                 \
    } else                                                 \
        GTEST_SKIP() << "no corpus at " QUELLOR_CORPUS_DIR \
                        " (configure with -DQUELLOR_CORPUS_DIR=... to run this test)"
