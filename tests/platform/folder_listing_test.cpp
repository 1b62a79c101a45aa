// The packed folder listing: sorted names read back whole in any order, and the case-blind
// filter never misses a listed name in any letter case and tells most others apart.
#include "platform/folder_listing.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

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

// Sorted, a name is kept as what differs from the name before it, and every sixteenth whole.
TEST(FolderListing, SortedNamesReadBackWholeInAnyOrder) {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        std::string name = i % 2 ? "DSC_" : "IMG_"; // two runs of names: a whole one between
        name += std::to_string(i * 37 % 100);
        names.push_back(name + ".JPG");
    }
    names.push_back(std::string(300, 'a')); // lengths that take two bytes to write
    names.push_back(std::string(300, 'a') + "b");
    names.push_back("Z");                     // shares nothing with the name before
    names.push_back("\xC3\xA9t\xC3\xA9.jpg"); // bytes past 127 sort after ASCII
    FolderListing listing(true);
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(listing.add(names[i], i % 3 ? EntryKind::file : EntryKind::folder, 900 + i));
    }
    EXPECT_FALSE(listing.add(std::string("a\0b", 3), EntryKind::file));
    listing.sortByName();

    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](auto a, auto b) { return names[a] < names[b]; });
    const auto expectAt = [&](std::size_t position) {
        const FolderListing::Entry entry = listing[position];
        const std::size_t added = order[position];
        ASSERT_EQ(entry.name, names[added]) << position;
        EXPECT_EQ(entry.kind, added % 3 ? EntryKind::file : EntryKind::folder);
        EXPECT_EQ(entry.index, 900 + added);
    };
    for (std::size_t p = 0; p < names.size(); ++p) {
        expectAt(p);                     // forwards
        expectAt(names.size() - 1 - p);  // backwards
        expectAt(p * 37 % names.size()); // anywhere
    }
    ASSERT_TRUE(listing.add("late", EntryKind::file)); // after the sorted names
    ASSERT_EQ(listing.size(), names.size() + 1);
    EXPECT_EQ(listing[names.size()].name, "late");
    expectAt(0);
}

} // namespace
} // namespace shotstamp::files
