#include "stdafx.h"

#include "HiveProblemText.h"

using marrowick::platform::HiveProblem;

namespace {

std::string Quoted(const std::string& path) {
    return "„" + path + "“";
}

}  // namespace

std::string DescribeHiveProblem(const HiveProblem& problem) {
    const std::string path = Quoted(problem.path);
    switch (problem.kind) {
        case HiveProblem::kNone:
            break;
        case HiveProblem::kNoFileName:
            return path + " nennt keine Datei.";
        case HiveProblem::kNotAccessible:
            return path + " ist nicht zugänglich.";
        case HiveProblem::kNotSearchable:
            return path + " darf nicht durchsucht werden.";
        case HiveProblem::kDirectoryMissing:
            return "Das Verzeichnis " + path + " gibt es nicht.";
        case HiveProblem::kNotADirectory:
            return path + " ist kein Verzeichnis.";
        case HiveProblem::kTooManyLinks:
            return "Der Weg zur Registrierungsdatei " + path +
                   " führt über zu viele Verknüpfungen.";
        case HiveProblem::kOwnedByOther:
            return "Der Weg zur Registrierungsdatei ist nicht sicher: " + path +
                   " gehört einem anderen Benutzer als " + Quoted(problem.other) +
                   ", wohin er führt.";
        case HiveProblem::kOpenToEveryone:
            return "Der Weg zur Registrierungsdatei ist nicht sicher: " + path +
                   " darf jeder beschreiben, und es hat kein Sticky-Bit.";
        case HiveProblem::kTooLarge:
            return "Die Registrierungsdatei würde mit " +
                   std::to_string(problem.bytes / 1'000'000) + " MB größer als " +
                   std::to_string(problem.limitBytes >> 20) +
                   " MiB und ließe sich nicht mehr lesen; nichts wurde gespeichert.";
    }
    return {};
}
