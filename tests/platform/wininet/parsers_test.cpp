// Reply assembly and listing lines, with samples of what real servers send.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/wininet/parsers.h"

namespace wininet::detail {
namespace {

using State = ReplyParser::State;

// Feeds a stream one byte at a time and collects the whole replies.
std::vector<Reply> FeedBytewise(std::string_view stream, State& last) {
    ReplyParser p;
    std::vector<Reply> replies;
    last = State::Incomplete;
    for (char c : stream) {
        std::size_t used = 0;
        last = p.Feed(std::string_view(&c, 1), used);
        if (last == State::Done) replies.push_back(p.Take());
        if (last == State::Bad) break;
    }
    return replies;
}

TEST(ReplyParser, AssemblesSingleAndMultiLineReplies) {
    State last;
    auto replies = FeedBytewise(
        "220 ready\r\n"
        "211-Features:\r\n MLST type*;size*;\r\n 211 indented\r\n211 End\r\n"
        "226\n",
        last);
    EXPECT_EQ(last, State::Done);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].code, 220);
    EXPECT_EQ(replies[0].text, "220 ready\r\n");
    EXPECT_EQ(replies[1].code, 211);
    EXPECT_EQ(replies[1].text,
              "211-Features:\r\n MLST type*;size*;\r\n 211 indented\r\n211 End\r\n");
    EXPECT_EQ(replies[2].code, 226);  // a bare code, bare LF
    EXPECT_EQ(replies[2].text, "226\r\n");
}

TEST(ReplyParser, MultiLineReplyEndsOnlyAtItsOwnCode) {
    ReplyParser p;
    std::size_t used = 0;
    std::string s = "230-Welcome\r\n220 not the end\r\n230-still going\r\n230 done\r\nNEXT";
    ASSERT_EQ(p.Feed(s, used), State::Done);
    EXPECT_EQ(s.substr(used), "NEXT");
    Reply r = p.Take();
    EXPECT_EQ(r.code, 230);
    EXPECT_EQ(r.text, "230-Welcome\r\n220 not the end\r\n230-still going\r\n230 done\r\n");
}

TEST(ReplyParser, RefusesGarbageAndOversizedInput) {
    for (std::string bad : {std::string("HTTP/1.1 200 OK\r\n"), std::string("22 short\r\n"),
                            std::string("620 out of range\r\n"), std::string("220x\r\n"),
                            "220 " + std::string(ReplyParser::kMaxLine, 'x') + "\r\n"}) {
        ReplyParser p;
        std::size_t used = 0;
        EXPECT_EQ(p.Feed(bad, used), State::Bad) << bad.substr(0, 20);
    }
    std::string endless;
    while (endless.size() <= ReplyParser::kMaxReply)
        endless += "220-" + std::string(100, 'y') + "\r\n";
    ReplyParser p;
    std::size_t used = 0;
    EXPECT_EQ(p.Feed(endless, used), State::Bad);
}

TEST(ReplyFields, PassiveAndExtendedPassivePorts) {
    EXPECT_EQ(ParsePasvPort("227 Entering Passive Mode (127,0,0,1,4,51)"), 1075);
    EXPECT_EQ(ParsePasvPort("227 Entering passive mode 10,1,2,3,200,10."), 200 * 256 + 10);
    EXPECT_EQ(ParsePasvPort("227 Entering Passive Mode (127,0,0,1,4,256)"), std::nullopt);
    EXPECT_EQ(ParsePasvPort("227 Entering Passive Mode (127,0,0,1,4)"), std::nullopt);
    EXPECT_EQ(ParsePasvPort("227 (1,2,3,4,0,0)"), std::nullopt);
    EXPECT_EQ(ParseEpsvPort("229 Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ParseEpsvPort("229 ok (!!!65535!)"), 65535);
    EXPECT_EQ(ParseEpsvPort("229 (|||65536|)"), std::nullopt);
    EXPECT_EQ(ParseEpsvPort("229 (|||6446)"), std::nullopt);
    EXPECT_EQ(ParseEpsvPort("229 (||6446|)"), std::nullopt);
}

TEST(ReplyFields, AnnouncedTransferSize) {
    EXPECT_EQ(ParseTransferSize("150 Opening BINARY mode data connection for a b.zip (5000000000 "
                                "bytes).\r\n"),
              5000000000u);
    EXPECT_EQ(ParseTransferSize("213 1234\r\n"), 1234u);
    EXPECT_EQ(ParseTransferSize("150 File status okay. About to open data connection.\r\n"),
              std::nullopt);
    EXPECT_EQ(ParseTransferSize("150 Here (12x bytes).\r\n"), std::nullopt);
    EXPECT_EQ(ParseTransferSize("213 \r\n"), std::nullopt);
}

TEST(ReplyFields, CurrentFolderAndFeatures) {
    EXPECT_EQ(ParsePwdReply("257 \"/a \"\"b\"\" c\" is current directory.\r\n"), "/a \"b\" c");
    EXPECT_EQ(ParsePwdReply("257 \"/\"\r\n"), "/");
    EXPECT_EQ(ParsePwdReply("257 /plain is current\r\n"), "/plain");
    EXPECT_EQ(ParsePwdReply("257 \"/unterminated\r\n"), std::nullopt);
    EXPECT_TRUE(FeatOffersMlsd("211-Features:\r\n MDTM\r\n MLST type*;size*;\r\n211 End\r\n"));
    EXPECT_FALSE(FeatOffersMlsd("211-Features:\r\n MDTM\r\n SIZE\r\n211 MLST End\r\n"));
}

TEST(Listing, MlsdFacts) {
    auto e =
        ParseMlsdLine("type=file;size=5000000000;modify=20240102030405.123;perm=r; my file.zip");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "my file.zip");
    EXPECT_FALSE(e->directory);
    EXPECT_EQ(e->size, 5000000000u);
    EXPECT_EQ(e->modified, *FileTimeFromCivil(2024, 1, 2, 3, 4, 5));
    auto d = ParseMlsdLine("Type=dir;Modify=20231231235959; sub");
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->directory);
    EXPECT_FALSE(ParseMlsdLine("type=cdir; /home"));
    EXPECT_FALSE(ParseMlsdLine("type=pdir; .."));
    EXPECT_FALSE(ParseMlsdLine("no facts here"));
}

TEST(Listing, UnixLines) {
    const std::int64_t now = 1735689600;  // 2025-01-01 00:00 UTC
    auto e = ParseListLine("-rw-r--r--   1 owner group  5000000000 Mar 15  2021 big file.iso", now);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "big file.iso");
    EXPECT_EQ(e->size, 5000000000u);
    EXPECT_EQ(e->modified, *FileTimeFromCivil(2021, 3, 15, 0, 0, 0));
    // Without a year: this year, unless that lies more than a day ahead.
    auto recent = ParseListLine("-rw-r--r-- 1 0 0 12 Jan 01 10:15 a.txt", now + 3600);
    ASSERT_TRUE(recent);
    EXPECT_EQ(recent->modified, *FileTimeFromCivil(2025, 1, 1, 10, 15, 0));
    auto lastYear = ParseListLine("-rw-r--r-- 1 0 0 12 Dec 08 06:05 b.txt", now);
    ASSERT_TRUE(lastYear);
    EXPECT_EQ(lastYear->modified, *FileTimeFromCivil(2024, 12, 8, 6, 5, 0));
    auto dir = ParseListLine("drwxr-xr-x    2 ftp      ftp          4096 Dec  8 06:05 sub", now);
    ASSERT_TRUE(dir);
    EXPECT_TRUE(dir->directory);
    auto noGroup = ParseListLine("-rw-r--r-- 1 owner 77 Feb 29 12:00 leap", now);
    ASSERT_TRUE(noGroup);
    EXPECT_EQ(noGroup->size, 77u);
    auto link = ParseListLine("lrwxrwxrwx 1 0 0 7 Jan 01  2020 latest -> v1.2", now);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->name, "latest");
    EXPECT_FALSE(ParseListLine("total 12", now));
    EXPECT_FALSE(ParseListLine("drwxr-xr-x 2 0 0 4096 Dec 08 06:05 ..", now));
    EXPECT_FALSE(ParseListLine("-rw-r--r-- 1 0 0 12 Foo 08 06:05 x", now));
}

TEST(Listing, DosLines) {
    auto dir = ParseListLine("12-08-26  10:15AM       <DIR>          sub dir", 0);
    ASSERT_TRUE(dir);
    EXPECT_TRUE(dir->directory);
    EXPECT_EQ(dir->name, "sub dir");
    EXPECT_EQ(dir->modified, *FileTimeFromCivil(2026, 12, 8, 10, 15, 0));
    auto file = ParseListLine("01-02-1999  12:05PM             5000000000 a.zip", 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size, 5000000000u);
    EXPECT_EQ(file->modified, *FileTimeFromCivil(1999, 1, 2, 12, 5, 0));
    auto midnight = ParseListLine("01-02-99  12:05AM    1 b", 0);
    ASSERT_TRUE(midnight);
    EXPECT_EQ(midnight->modified, *FileTimeFromCivil(1999, 1, 2, 0, 5, 0));
    EXPECT_FALSE(ParseListLine("13-45-99  12:05XM    1 b", 0));
}

TEST(Listing, FileTimesRangeChecked) {
    EXPECT_EQ(FileTimeFromCivil(1601, 1, 1, 0, 0, 0), 0u);
    EXPECT_EQ(FileTimeFromCivil(1970, 1, 1, 0, 0, 0), 116444736000000000u);
    EXPECT_FALSE(FileTimeFromCivil(2024, 13, 1, 0, 0, 0));
    EXPECT_FALSE(FileTimeFromCivil(2024, 1, 1, 24, 0, 0));
    EXPECT_FALSE(FileTimeFromCivil(1600, 12, 31, 0, 0, 0));
}

TEST(Wildcards, WindowsPatternsWithoutRegardToCase) {
    EXPECT_TRUE(WildcardMatch("*.zip", "kelvoranX.ZIP"));
    EXPECT_TRUE(WildcardMatch("my?file.zip", "my file.zip"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXXbYYbZc"));
    EXPECT_TRUE(WildcardMatch("?.txt", "\xC3\xA9.txt"));           // one character, two bytes
    EXPECT_TRUE(WildcardMatch("\xC3\x89*", "\xC3\xA9t\xC3\xA9"));  // É matches é
    EXPECT_FALSE(WildcardMatch("*.zip", "a.zip.bak"));
    EXPECT_FALSE(WildcardMatch("a?", "a"));
    EXPECT_FALSE(WildcardMatch("abc", "abcd"));
}

}  // namespace
}  // namespace wininet::detail
