#include "batch_ledger.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.h"

namespace {

TEST(BatchLedgerTest, AnOutputIsClaimedOnceUnderAnySpellingOfItsFile) {
    testing_support::TempDir work;
    BatchLedger ledger;
    const std::string made = work.write("made.avi", "x");
    EXPECT_EQ(ledger.claim(made, "/a.mkv"), std::nullopt);
    ledger.recordFile(made, "/a.mkv");
    EXPECT_EQ(ledger.claim(made, "/b.mkv"), "/a.mkv");
    // Another name of the same file, as a link or a case-blind file system gives it.
    std::error_code error;
    std::filesystem::create_hard_link(testing_support::fsPath(made),
                                      testing_support::fsPath(work.file("other.avi")), error);
    if (!error) {
        EXPECT_EQ(ledger.claim(work.file("other.avi"), "/c.mkv"), "/a.mkv");
    }
    // A claimed name whose job left nothing is still taken; a fresh one is free.
    EXPECT_EQ(ledger.claim(work.file("failed.avi"), "/d.mkv"), std::nullopt);
    EXPECT_EQ(ledger.claim(work.file("failed.avi"), "/e.mkv"), "/d.mkv");
    EXPECT_TRUE(ledger.firstUseOf(work.path()));
    EXPECT_FALSE(ledger.firstUseOf(work.path()));
}

}  // namespace
