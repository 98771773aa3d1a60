#include "ftp/cDirList.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/files/vb_error.h"

namespace {

std::int32_t ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const VbError& error) {
        return error.Number;
    }
    return 0;
}

TEST(DirList, FolderWordSetsOnlyTheDirectoryFlag) {
    cDirList list;
    list.Add(0x10, 1.0, 2.0, 3.0, 0, "sub");
    const auto item = list.Item(1);
    EXPECT_TRUE(item->Directory);
    EXPECT_FALSE(item->ReadOnly || item->Hidden || item->System || item->Archive || item->Normal ||
                 item->Temporary || item->Compressed || item->Offline);
}

TEST(DirList, EachAttributeBitSetsItsOwnFlag) {
    cDirList list;
    list.Add(0x21, 0, 0, 0, 0, "a");
    list.Add(0x1 | 0x2 | 0x4 | 0x20 | 0x80 | 0x100 | 0x800 | 0x1000, 0, 0, 0, 0, "all");
    const auto a = list.Item(1);
    EXPECT_TRUE(a->ReadOnly);
    EXPECT_TRUE(a->Archive);
    EXPECT_FALSE(a->Directory || a->Hidden || a->System || a->Normal);

    const auto all = list.Item("all");
    EXPECT_TRUE(all->ReadOnly && all->Hidden && all->System && all->Archive && all->Normal &&
                all->Temporary && all->Compressed && all->Offline);
    EXPECT_FALSE(all->Directory);
}

TEST(DirList, PositionsCountFromOneInInsertionOrder) {
    cDirList list;
    EXPECT_EQ(list.Count(), 0);
    for (const char* name : {"zeta", "alpha", "mid"}) list.Add(0, 0, 0, 0, 1, name);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Item(1)->Filename, "zeta");
    EXPECT_EQ(list.Item(3)->Filename, "mid");

    std::vector<std::string> walked;
    for (const auto& item : list) walked.push_back(item->Filename);
    EXPECT_EQ(walked, (std::vector<std::string>{"zeta", "alpha", "mid"}));
}

TEST(DirList, PositionOutsideTheListIsSubscriptError) {
    cDirList list;
    EXPECT_EQ(ErrorNumberOf([&] { list.Item(1); }), 9);
    list.Add(0, 0, 0, 0, 0, "one");
    list.Add(0, 0, 0, 0, 0, "two");
    EXPECT_EQ(ErrorNumberOf([&] { list.Item(0); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { list.Item(3); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { list.Item(-1); }), 9);
}

TEST(DirList, NameLookupIgnoresCaseAndUnknownNameIsError5) {
    cDirList list;
    list.Add(0, 0, 0, 0, 10, "ReadMe.TXT");
    EXPECT_EQ(list.Item("readme.txt")->FileSize, 10);
    EXPECT_EQ(list.Item("README.TXT")->Filename, "ReadMe.TXT");
    EXPECT_EQ(ErrorNumberOf([&] { list.Item("readme"); }), 5);
}

TEST(DirList, NamesDifferingOnlyInCaseCollide) {
    cDirList list;
    list.Add(0, 0, 0, 0, 1, "Data.bin");
    EXPECT_EQ(ErrorNumberOf([&] { list.Add(0, 0, 0, 0, 2, "DATA.BIN"); }), 457);
    EXPECT_EQ(ErrorNumberOf([&] { list.Add(0, 0, 0, 0, 3, "Data.bin"); }), 457);
    // The refused entries are not half added.
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item("data.bin")->FileSize, 1);
}

TEST(DirList, ClearEmptiesTheListAndFreesItsKeys) {
    cDirList list;
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    list.Add(0, 0, 0, 0, 1, "a");
    list.Add(0, 0, 0, 0, 2, "b");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(ErrorNumberOf([&] { list.Item("a"); }), 5);
    list.Add(0, 0, 0, 0, 3, "A");
    EXPECT_EQ(list.Item(1)->FileSize, 3);
}

}  // namespace
