#include "stdafx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Commands.h"
#include "TreeChanges.h"
#include "ValueFormat.h"

namespace marrowick::test {
namespace {

using platform::RegFileKey;
using platform::RegFileValue;

RegFileValue Dword(const char* name, DWORD number) {
    return {name, REG_DWORD, DwordBytes(number)};
}

std::vector<std::string> Lines(const std::vector<Change>& changes) {
    std::vector<std::string> lines;
    for (const Change& change : changes) lines.push_back(cli::ChangeLine(change));
    return lines;
}

// What watch prints between two readings of the tree: nothing for the same tree (whatever
// the letter case of its names), otherwise each change with its old value.
TEST(WatchComparison, NamesEachChangeWithItsOldValue) {
    const std::string viewer = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander";
    const std::string k = "[HKEY_LOCAL_MACHINE\\" + viewer;
    const std::vector<RegFileKey> base = {
        {viewer, {Dword("TopDay", 2)}},
        {viewer + "\\ObjectNum", {Dword("DocList", 20), Dword("DocThum", 10)}},
    };
    struct Case {
        const char* label;
        std::vector<RegFileKey> after;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"same", base, {}},
        {"same, other letter case",
         {{"software\\tavik\\brisvandale\\pallisander", {Dword("TopDay", 2)}},
          {viewer + "\\OBJECTNUM", {Dword("DocThum", 10), Dword("DocList", 20)}}},
         {}},
        {"one value",
         {base[0], {viewer + "\\ObjectNum", {Dword("DocList", 30), Dword("DocThum", 10)}}},
         {k + "\\ObjectNum] DocList: 20 → 30"}},
        {"added and removed",
         {{viewer, {Dword("TopDay", 2), {"SortKey", REG_SZ, StringBytes("x")}}},
          {viewer + "\\ObjectNum", {Dword("DocThum", 10)}}},
         {k + "] SortKey: – → \"x\"", k + "\\ObjectNum] DocList: 20 → –"}},
        {"key created, key deleted",
         {base[0], {viewer + "\\MimeMap", {{"pdf", REG_SZ, StringBytes("application/pdf")}}}},
         {k + "\\MimeMap] Schlüssel angelegt", k + "\\MimeMap] pdf: – → \"application/pdf\"",
          k + "\\ObjectNum] DocList: 20 → –", k + "\\ObjectNum] DocThum: 10 → –",
          k + "\\ObjectNum] Schlüssel gelöscht"}},
        {"type changed",
         {{viewer, {{"TopDay", REG_SZ, StringBytes("2")}}}, base[1]},
         {k + "] TopDay: 2 → \"2\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Lines(cli::ChangesBetween(base, c.after)), c.lines);
    }
    // From nothing, everything is new, parents first.
    EXPECT_EQ(Lines(cli::ChangesBetween({}, {base[0]})),
              (std::vector<std::string>{k + "] Schlüssel angelegt", k + "] TopDay: – → 2"}));
}

// log --since: the forms the manual names, in local time; anything else is refused.
TEST(LogSince, ReadsTheDocumentedForms) {
    ASSERT_EQ(setenv("TZ", "Europe/Berlin", 1), 0);
    tzset();
    // 2026-12-09 03:30:00 in Berlin (UTC+1).
    const std::uint64_t now = 1796783400ull * 1000000;
    const std::uint64_t second = 1000000;
    struct Case {
        const char* text;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"2026-12-09", 1796770800ull * second},
        {"2026-12-09 03:00", 1796781600ull * second},
        {"2026-12-09T03:00:15", 1796781615ull * second},
        {"02:10", 1796778600ull * second},
        {"heute", 1796770800ull * second},
        {"today", 1796770800ull * second},
        {"gestern", 1796684400ull * second},
        {"@1796781600", 1796781600ull * second},
        {"-90s", now - 90 * second},
        {"-5min", now - 300 * second},
        {"-2h", now - 7200 * second},
        {"-1d", now - 86400 * second},
    };
    for (const Case& c : cases) {
        const std::optional<std::uint64_t> since = cli::SinceUsec(c.text, now);
        ASSERT_TRUE(since) << c.text;
        EXPECT_EQ(*since, c.expected) << c.text;
    }
    for (const char* text : {"", "morgen", "2026-13-01", "2026-12-09 25:00", "3:00", "-5", "-xh",
                             "@", "@-5", "2026-12-09X03:00"}) {
        EXPECT_FALSE(cli::SinceUsec(text, now)) << text;
    }
    unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace marrowick::test
