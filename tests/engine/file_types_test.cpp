#include "file_types.h"

#include <gtest/gtest.h>

namespace {

TEST(FileTypesTest, ExtensionContainsAnAcceptedToken) {
    EXPECT_TRUE(isAcceptedFile("/v/clip.mkv"));
    EXPECT_TRUE(isAcceptedFile("/v/movie.MKV"));
    EXPECT_TRUE(isAcceptedFile("/v/x.mkvx"));
    EXPECT_TRUE(isAcceptedFile("/v/clip.mkv2"));
    EXPECT_FALSE(isAcceptedFile("/v/movie.mkv.bak"));
    EXPECT_FALSE(isAcceptedFile("/v/clip.avi"));
    EXPECT_FALSE(isAcceptedFile("/v/noextension"));
}

TEST(FileTypesTest, TokenListsAndEmptyTypes) {
    EXPECT_TRUE(isAcceptedFile("anything", ""));
    EXPECT_TRUE(isAcceptedFile("a.webm", "mkv;webm"));
    EXPECT_FALSE(isAcceptedFile("a.mp4", "mkv;webm;"));
    // An empty token between separators is contained in every extension.
    EXPECT_TRUE(isAcceptedFile("a.mp4", "mkv;;webm"));
    EXPECT_FALSE(isAcceptedFile("nodot", "mkv;;webm"));
}

}  // namespace
