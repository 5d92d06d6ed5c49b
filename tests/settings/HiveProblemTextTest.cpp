// The store's problems with the hive file as administrators read them: each names its place.
#include "stdafx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "HiveProblemText.h"

namespace {

using marrowick::platform::HiveProblem;

HiveProblem Problem(HiveProblem::Kind kind, std::string path = {}, std::string other = {},
                    std::uint64_t bytes = 0, std::uint64_t limitBytes = 0) {
    HiveProblem problem;
    problem.kind = kind;
    problem.path = std::move(path);
    problem.other = std::move(other);
    problem.bytes = bytes;
    problem.limitBytes = limitBytes;
    return problem;
}

TEST(HiveProblemText, EveryProblemNamesItsPlacesInGerman) {
    const struct {
        HiveProblem problem;
        const char* text;
    } cases[] = {
        {Problem(HiveProblem::kNone), ""},
        {Problem(HiveProblem::kNoFileName, "/var/"), "„/var/“ nennt keine Datei."},
        {Problem(HiveProblem::kNotAccessible, "/"), "„/“ ist nicht zugänglich."},
        {Problem(HiveProblem::kNotSearchable, "/a"), "„/a“ darf nicht durchsucht werden."},
        {Problem(HiveProblem::kDirectoryMissing, "/a/b"), "Das Verzeichnis „/a/b“ gibt es nicht."},
        {Problem(HiveProblem::kNotADirectory, "/a/f"), "„/a/f“ ist kein Verzeichnis."},
        {Problem(HiveProblem::kTooManyLinks, "/l"),
         "Der Weg zur Registrierungsdatei „/l“ führt über zu viele Verknüpfungen."},
        {Problem(HiveProblem::kOwnedByOther, "/home/eve/l", "/etc"),
         "Der Weg zur Registrierungsdatei ist nicht sicher: „/home/eve/l“ gehört einem anderen "
         "Benutzer als „/etc“, wohin er führt."},
        {Problem(HiveProblem::kOpenToEveryone, "/srv/open"),
         "Der Weg zur Registrierungsdatei ist nicht sicher: „/srv/open“ darf jeder beschreiben, "
         "und es hat kein Sticky-Bit."},
        {Problem(HiveProblem::kTooLarge, {}, {}, 300'500'000, 256u << 20),
         "Die Registrierungsdatei würde mit 300 MB größer als 256 MiB und ließe sich nicht mehr "
         "lesen; nichts wurde gespeichert."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeHiveProblem(c.problem), c.text) << c.problem.kind;
    }
}

}  // namespace
