// The packed folder listing's case-blind filter: a listed name is never missed in any letter
// case, and most names that are not listed are told apart without a query.
#include "platform/folder_listing.h"

#include <gtest/gtest.h>
#include <string>

namespace shotstamp::files {
namespace {

TEST(FolderListing, TheCaseBlindFilterMissesNoListedNameAndRejectsMostOthers) {
    FolderListing listing;
    for (int i = 0; i < 5000; ++i) {
        listing.add("IMG_" + std::to_string(i) + ".JPG", EntryKind::file);
    }
    listing.sortByName();
    for (int i = 0; i < 5000; ++i) {
        const std::string n = std::to_string(i);
        ASSERT_TRUE(listing.mayContainIgnoringCase("IMG_" + n + ".JPG")) << i;
        ASSERT_TRUE(listing.mayContainIgnoringCase("img_" + n + ".jpg")) << i;
    }
    int wrong = 0;
    for (int i = 0; i < 5000; ++i) {
        wrong += listing.mayContainIgnoringCase("2024-01-01 " + std::to_string(i) + ".jpg") ? 1 : 0;
    }
    EXPECT_LT(wrong, 250); // under 5%: else the filter spares too few queries

    listing.add("Late.jpg", EntryKind::file); // a change makes the filter again
    EXPECT_TRUE(listing.mayContainIgnoringCase("LATE.JPG"));
}

} // namespace
} // namespace shotstamp::files
