#include "stdafx.h"

#include "SettingsClient.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ChangeForwarding.h"
#include "SettingRules.h"
#include "Wire.h"
#include "resource.h"

namespace marrowick::service {

namespace {

// Longer than the service waits for polkit and the bus for the service to start: whichever
// of them gives up first says why, the client never times out on its own before.
constexpr uint64_t kCallUsec = kInteractiveAuthorizationUsec + 60ull * 1000 * 1000;
constexpr int kAgentStartMs = 10000;

ServiceOptions forwardingOptions;

// pkttyagent for this process's calls, on the controlling terminal; ended on scope exit.
// polkit finds it through the process behind the caller's bus name. It is registered for
// this process alone, so it replaces nobody's agent; as a mere fallback polkit would skip
// it wherever no login session is known.
class TextAgent {
public:
    TextAgent() {
        const std::string process = std::to_string(getpid());
        int notify[2];
        if (pipe2(notify, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // The agent closes its copy of the pipe's writing end once it is registered.
            if (dup2(notify[1], 3) < 0) _exit(127);
            execl("/usr/bin/pkttyagent", "pkttyagent", "--notify-fd", "3", "--process",
                  process.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(notify[1]);
        if (pid_ > 0) {
            pollfd ready{notify[0], POLLIN, 0};
            while (poll(&ready, 1, kAgentStartMs) < 0 && errno == EINTR) {
            }
        }
        close(notify[0]);
    }
    ~TextAgent() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    TextAgent(const TextAgent&) = delete;
    TextAgent& operator=(const TextAgent&) = delete;

private:
    pid_t pid_ = -1;
};

ChangeOutcome Refusal(const std::string& message) {
    ChangeOutcome outcome;
    outcome.result = ChangeOutcome::kRegistryError;
    outcome.status = ERROR_ACCESS_DENIED;
    outcome.message = message;
    return outcome;
}

// Why the service could not be reached, in German: sd-bus words it in the C library's
// English, or passes on the bus's own English.
std::string UnreachableReason(int error) {
    switch (error) {
        case ENOENT:
            return "kein Systembus: Datei oder Verzeichnis nicht gefunden";
        case ECONNREFUSED:
            return "der Systembus nimmt keine Verbindung an";
        case EHOSTUNREACH:
        case ENXIO:
            return "der Dienst ist nicht installiert oder lässt sich nicht starten";
        case ETIMEDOUT:
            return "keine Antwort";
        case ECONNRESET:
            return "die Verbindung wurde getrennt";
        case EACCES:
        case EPERM:
            return "Zugriff verweigert";
        default: {
            const char* name = strerrorname_np(error);
            return "Fehler " + (name ? std::string(name) : std::to_string(error));
        }
    }
}

// `error` is the call's error with its code `r` (negative, as sd-bus returns it).
ChangeOutcome RefusalFor(const sd_bus_error& error, int r, const ServiceOptions& options) {
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED)) {
        return Refusal(
            options.askPassword
                ? "Zum Speichern der rechnerweiten Einstellungen ist die Anmeldung als "
                  "Administrator nötig, aber niemand konnte danach fragen. Starten Sie den "
                  "Befehl in einem Terminal oder als root (sudo)."
                : "Zum Speichern der rechnerweiten Einstellungen ist die Anmeldung als "
                  "Administrator nötig. Lassen Sie --no-ask-password weg, damit danach gefragt "
                  "wird, oder starten Sie den Befehl als root (sudo).");
    }
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_ACCESS_DENIED)) {
        return Refusal(
            "Das Speichern der rechnerweiten Einstellungen wurde nicht erlaubt. Melden Sie sich "
            "als Administrator an, wenn Sie danach gefragt werden, oder bitten Sie einen "
            "Administrator, die Änderung vorzunehmen.");
    }
    if (sd_bus_error_has_name(&error, kErrorTooManyWaiting)) {
        // The dialogs show the message number, the command line the text: the same words.
        ChangeOutcome outcome = Refusal(LoadResourceText(IDS_TOO_MANY_WAITING));
        outcome.status = ERROR_NOT_ENOUGH_QUOTA;
        outcome.messageId = IDS_TOO_MANY_WAITING;
        return outcome;
    }
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_LIMITS_EXCEEDED) ||
        sd_bus_error_has_name(&error, SD_BUS_ERROR_INVALID_ARGS)) {
        ChangeOutcome outcome = Refusal(std::string("Der Einstellungsdienst lehnte ab: ") +
                                        (error.message ? error.message : error.name));
        outcome.status = ERROR_INVALID_PARAMETER;
        return outcome;
    }
    return Refusal(std::string("Der Einstellungsdienst ") + kBusName + " ist nicht erreichbar (" +
                   UnreachableReason(-r) +
                   "). Als root (sudo) werden die Einstellungen ohne ihn gespeichert.");
}

bool ForwardIfMachineHive(const std::vector<Change>& changes, bool dryRun, ChangeOutcome& outcome) {
    const char* hive = std::getenv("MARROWICK_HKLM");
    if (hive && *hive) return false;  // one's own hive: the refusal stands
    // Root was refused by the file system itself (a read-only mount, say): the service could
    // do no better, and whatever answers on the bus must not turn that into a success.
    if (geteuid() == 0) return false;
    outcome = ApplyThroughService(changes, dryRun, forwardingOptions);
    return true;
}

}  // namespace

void ForwardChangeSetsToService(const ServiceOptions& options) {
    forwardingOptions = options;
    SetChangeSetForwarder(ForwardIfMachineHive);
}

ChangeOutcome ApplyThroughService(const std::vector<Change>& changes, bool dryRun,
                                  const ServiceOptions& options) {
    sd_bus* bus = nullptr;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ChangeOutcome outcome;
    int r = sd_bus_open_system(&bus);
    if (r >= 0) {
        r = sd_bus_message_new_method_call(bus, &call, kBusName, kObjectPath, kInterface, "Apply");
    }
    if (r >= 0) r = sd_bus_message_set_allow_interactive_authorization(call, options.askPassword);
    if (r >= 0) r = AppendChanges(call, changes);
    if (r >= 0) r = sd_bus_message_append(call, "b", static_cast<int>(dryRun));
    if (r < 0) {
        sd_bus_error_set_errno(&error, r);
        outcome = RefusalFor(error, r, options);
    } else {
        std::optional<TextAgent> agent;
        if (options.askPassword && options.textAgent) agent.emplace();
        r = sd_bus_call(bus, call, kCallUsec, &error, &reply);
        if (r < 0) {
            outcome = RefusalFor(error, r, options);
        } else if (ReadOutcome(reply, outcome) < 0) {
            outcome = Refusal("Der Einstellungsdienst gab keine lesbare Antwort.");
        }
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return outcome;
}

}  // namespace marrowick::service
