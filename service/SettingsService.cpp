#include "stdafx.h"

#include "SettingsService.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CallerAuthor.h"
#include "ChangeJournal.h"
#include "Wire.h"

namespace marrowick::service {

namespace {

using Clock = std::chrono::steady_clock;

// polkit's answer may wait for a person typing a password; without a prompt it is quick.
constexpr uint64_t kInteractiveAuthorizationUsec = 300ull * 1000 * 1000;
constexpr uint64_t kAuthorizationUsec = 25ull * 1000 * 1000;
// Calls waiting for polkit at once: each holds its change set, so callers who never answer
// a password prompt cannot make the service hold unbounded memory.
constexpr int kMaxPendingCalls = 32;

struct Service {
    sd_bus* bus = nullptr;
    int pending = 0;  // calls waiting for polkit
    Clock::time_point lastCall = Clock::now();
};

// A call between its checks and its reply, while polkit decides.
struct Request {
    Service* service;
    sd_bus_message* call;
    std::vector<Change> changes;
    bool dryRun;
    journal::Author caller;  // for the journal's entry, taken when the call came
    Request(Service* service, sd_bus_message* call, std::vector<Change> changes, bool dryRun)
        : service(service),
          call(sd_bus_message_ref(call)),
          changes(std::move(changes)),
          dryRun(dryRun),
          caller(CallerAuthor(call)) {
        ++service->pending;
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() {
        sd_bus_message_unref(call);
        --service->pending;
        service->lastCall = Clock::now();
    }
};

int ReplyWithOutcome(sd_bus_message* call, const ChangeOutcome& outcome) {
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    if (r >= 0) r = AppendOutcome(reply, outcome);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int ReplyWithError(sd_bus_message* call, const char* name, const char* text) {
    return sd_bus_reply_method_errorf(call, name, "%s", text);
}

// Tells listeners which keys now hold something else.
void SignalChanged(sd_bus* bus, const std::vector<Change>& changed) {
    std::set<std::string> keys;
    for (const Change& change : changed) keys.insert(change.keyPath);
    sd_bus_message* signal = nullptr;
    int r = sd_bus_message_new_signal(bus, &signal, kObjectPath, kInterface, "Changed");
    if (r >= 0) r = sd_bus_message_open_container(signal, 'a', "ay");
    for (const std::string& key : keys) {
        if (r >= 0) r = sd_bus_message_append_array(signal, 'y', key.data(), key.size());
    }
    if (r >= 0) r = sd_bus_message_close_container(signal);
    if (r >= 0) r = sd_bus_send(bus, signal, nullptr);
    sd_bus_message_unref(signal);
    if (r < 0) std::fprintf(stderr, "Changed signal not sent: %s\n", std::strerror(-r));
}

int OnAuthorization(sd_bus_message* answer, void* userdata, sd_bus_error*) {
    std::unique_ptr<Request> request(static_cast<Request*>(userdata));
    if (sd_bus_message_is_method_error(answer, nullptr)) {
        const sd_bus_error* error = sd_bus_message_get_error(answer);
        std::fprintf(stderr, "polkit did not answer: %s\n", error->message);
        return ReplyWithError(request->call, SD_BUS_ERROR_ACCESS_DENIED,
                              "polkit konnte nicht gefragt werden.");
    }
    int authorized = 0, challenge = 0;
    int r = sd_bus_message_enter_container(answer, 'r', "bba{ss}");
    if (r > 0) r = sd_bus_message_read(answer, "bb", &authorized, &challenge);
    if (r < 0) {
        return ReplyWithError(request->call, SD_BUS_ERROR_ACCESS_DENIED,
                              "polkit gab keine lesbare Antwort.");
    }
    if (!authorized) {
        return ReplyWithError(request->call,
                              challenge ? SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED
                                        : SD_BUS_ERROR_ACCESS_DENIED,
                              challenge
                                  ? "Zum Speichern ist eine Anmeldung als Administrator nötig."
                                  : "Das Speichern der Einstellungen wurde nicht erlaubt.");
    }
    const ChangeOutcome outcome = ApplyChangeSet(request->changes, request->dryRun);
    r = ReplyWithOutcome(request->call, outcome);
    if (outcome.Applied() && !request->dryRun && !outcome.changed.empty()) {
        journal::WriteChangeSetEntry(outcome.changed, request->caller);
        SignalChanged(request->service->bus, outcome.changed);
    }
    return r;
}

// Apply: bounded reading, the settings' rules, then polkit for this very caller.
int Apply(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    Service& service = *static_cast<Service*>(userdata);
    service.lastCall = Clock::now();
    if (service.pending >= kMaxPendingCalls) {
        return sd_bus_error_set(error, SD_BUS_ERROR_LIMITS_EXCEEDED,
                                "Zu viele Anfragen warten auf eine Anmeldung.");
    }
    std::vector<Change> changes;
    int r = ReadChanges(call, changes);
    int dryRun = 0;
    if (r >= 0) r = sd_bus_message_read_basic(call, 'b', &dryRun);
    if (r == -E2BIG) {
        return sd_bus_error_set(error, SD_BUS_ERROR_LIMITS_EXCEEDED,
                                "Zu viele Änderungen auf einmal.");
    }
    if (r < 0) {
        return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "Ungültige Änderung.");
    }
    const ChangeOutcome checked = CheckChangeSet(changes);
    if (!checked.Applied()) return ReplyWithOutcome(call, checked);

    const char* sender = sd_bus_message_get_sender(call);
    if (!sender) return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "Kein Absender.");
    const bool interactive = sd_bus_message_get_allow_interactive_authorization(call) > 0;
    sd_bus_message* question = nullptr;
    r = sd_bus_message_new_method_call(service.bus, &question, "org.freedesktop.PolicyKit1",
                                       "/org/freedesktop/PolicyKit1/Authority",
                                       "org.freedesktop.PolicyKit1.Authority",
                                       "CheckAuthorization");
    if (r >= 0) {
        r = sd_bus_message_append(question, "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s",
                                  sender, kAction, 0, interactive ? 1u : 0u, "");
    }
    auto request = std::make_unique<Request>(&service, call, std::move(changes), dryRun != 0);
    if (r >= 0) {
        r = sd_bus_call_async(service.bus, nullptr, question, OnAuthorization, request.get(),
                              interactive ? kInteractiveAuthorizationUsec : kAuthorizationUsec);
    }
    sd_bus_message_unref(question);
    if (r < 0) {
        return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED,
                                "polkit konnte nicht gefragt werden.");
    }
    request.release();  // OnAuthorization owns it now
    return 1;
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_ARGS("Apply", SD_BUS_ARGS("a(uayayuayuuay)", changes, "b", dry_run),
                            SD_BUS_RESULT("u", result, "i", status, "x", failed_change, "u",
                                          message_id, "s", message, "a(uayayuaybuay)", changed),
                            Apply, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL_WITH_NAMES("Changed", "aay", SD_BUS_PARAM(keys), 0), SD_BUS_VTABLE_END};

// Gives up the name, then answers what was sent to us before the bus knew: a call that
// arrives after that starts a new instance.
void LeaveBus(Service& service) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    sd_bus_call_method(service.bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                       "org.freedesktop.DBus", "ReleaseName", &error, &reply, "s", kBusName);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    for (;;) {
        const int r = sd_bus_process(service.bus, nullptr);
        if (r > 0) continue;
        if (r < 0 || service.pending == 0) break;
        sd_bus_wait(service.bus, UINT64_MAX);
    }
    sd_bus_flush(service.bus);
}

}  // namespace

int RunSettingsService(std::chrono::milliseconds idleTime) {
    Service service;
    int r = sd_bus_open_system(&service.bus);
    if (r >= 0) {
        r = sd_bus_add_object_vtable(service.bus, nullptr, kObjectPath, kInterface, kVtable,
                                     &service);
    }
    if (r >= 0) r = sd_bus_request_name(service.bus, kBusName, 0);
    if (r < 0) {
        std::fprintf(stderr, "marrowick-settings: %s: %s\n", kBusName, std::strerror(-r));
        sd_bus_flush_close_unref(service.bus);
        return 1;
    }
    for (;;) {
        r = sd_bus_process(service.bus, nullptr);
        if (r < 0) break;
        if (r > 0) continue;
        const auto idleUntil = service.lastCall + idleTime;
        const auto now = Clock::now();
        if (service.pending == 0 && now >= idleUntil) break;
        const auto wait =
            service.pending
                ? std::chrono::milliseconds(idleTime)
                : std::chrono::duration_cast<std::chrono::milliseconds>(idleUntil - now) +
                      std::chrono::milliseconds(1);
        r = sd_bus_wait(service.bus, static_cast<uint64_t>(wait.count()) * 1000);
        if (r < 0 && r != -EINTR) break;
    }
    if (r >= 0) LeaveBus(service);
    sd_bus_flush_close_unref(service.bus);
    // The bus going away ends the service as idleness does.
    if (r == -ECONNRESET || r == -ENOTCONN) return 0;
    if (r < 0) std::fprintf(stderr, "marrowick-settings: %s\n", std::strerror(-r));
    return r < 0 ? 1 : 0;
}

}  // namespace marrowick::service
