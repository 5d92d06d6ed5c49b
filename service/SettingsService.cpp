#include "stdafx.h"

#include "SettingsService.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CallerAuthor.h"
#include "ChangeJournal.h"
#include "Wire.h"

namespace marrowick::service {

namespace {

// An error code of sd-bus (negative) as its errno name, "EPIPE": the journal's readers
// search for it, and the C library's own wording would be English.
const char* ErrorName(int r) {
    const char* name = strerrorname_np(-r);
    return name ? name : "unbekannter Fehler";
}

using Clock = std::chrono::steady_clock;

constexpr const char* kPolkitName = "org.freedesktop.PolicyKit1";

// What the calls waiting for an answer may hold in all; each user has a share (Wire.h). One
// user's calls never reach the total, so however many of his prompts stay unanswered, the
// next user's save is asked about at once. A call is counted with the bytes its message
// holds, which is all the service keeps of it while it waits.
constexpr int kMaxWaitingCalls = 64;
constexpr std::size_t kMaxWaitingBytes = std::size_t{32} << 20;
static_assert(kMaxWaitingCallsPerUser < kMaxWaitingCalls &&
              kMaxWaitingBytesPerUser + kMaxCallBytes < kMaxWaitingBytes);
// A change's framing in the message besides its bytes (alignment, lengths, numbers), and the
// message's own header and bookkeeping.
constexpr std::size_t kFramingPerChange = 48;
constexpr std::size_t kFramingPerCall = 1024;

struct Tally {
    int calls = 0;
    std::size_t bytes = 0;
    bool Admits(std::size_t more, int maxCalls, std::size_t maxBytes) const {
        return calls < maxCalls && bytes + more <= maxBytes;
    }
    void Add(std::size_t held) {
        ++calls;
        bytes += held;
    }
    void Remove(std::size_t held) {
        --calls;
        bytes -= held;
    }
};

struct Service;

// A call between its checks and its reply: first the bus names its caller's user, then
// polkit decides. It keeps only the call itself, read again once polkit said yes.
struct Request {
    Service* service = nullptr;
    uint64_t id = 0;
    sd_bus_message* call = nullptr;
    std::string sender;
    std::size_t heldBytes = 0;
    bool interactive = false;
    bool userKnown = false;
    uid_t uid = 0;
    sd_bus_slot* pending = nullptr;  // the question out now
    bool askingPolkit = false;
    journal::Author caller;  // for the journal's entry, taken once the call is admitted
};

struct Service {
    sd_bus* bus = nullptr;
    std::map<uint64_t, Request> requests;
    uint64_t nextId = 1;
    Tally all;
    std::map<uid_t, Tally> byUser;
    std::map<std::string, int> bySender;  // before the bus named the sender's user
    std::string polkitOwner;              // polkit's unique name, or empty while it has none
    Clock::time_point lastCall = Clock::now();
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

const char* const kTooManyWaiting =
    "Zu viele Anfragen warten auf eine Anmeldung als Administrator.";

// polkit knows each of our checks by this, to cancel it.
std::string CancellationId(const Request& request) {
    return "marrowick-" + std::to_string(request.id);
}

// Ends a request: its slot in the tallies, its question (polkit is told to stop asking, so
// that no prompt stays open for a call nobody waits for) and its message.
void Finish(Request& request, bool cancelPolkit) {
    Service& service = *request.service;
    if (request.pending) sd_bus_slot_unref(request.pending);
    if (cancelPolkit && request.askingPolkit) {
        const std::string cancellation = CancellationId(request);
        sd_bus_call_method_async(service.bus, nullptr, kPolkitName,
                                 "/org/freedesktop/PolicyKit1/Authority",
                                 "org.freedesktop.PolicyKit1.Authority", "CancelCheckAuthorization",
                                 nullptr, nullptr, "s", cancellation.c_str());
    }
    service.all.Remove(request.heldBytes);
    if (request.userKnown) {
        auto user = service.byUser.find(request.uid);
        user->second.Remove(request.heldBytes);
        if (user->second.calls == 0) service.byUser.erase(user);
    } else {
        auto sender = service.bySender.find(request.sender);
        if (--sender->second == 0) service.bySender.erase(sender);
    }
    sd_bus_message_unref(request.call);
    service.lastCall = Clock::now();
    service.requests.erase(request.id);
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
    if (r < 0) std::fprintf(stderr, "Das Signal Changed wurde nicht gesendet: %s\n", ErrorName(r));
}

// The change set of an Apply call that was read once already.
int ReadAgain(sd_bus_message* call, std::vector<Change>& changes, bool& dryRun) {
    int flag = 0;
    int r = sd_bus_message_rewind(call, 1);
    if (r >= 0) r = ReadChanges(call, changes);
    if (r >= 0) r = sd_bus_message_read_basic(call, 'b', &flag);
    dryRun = flag != 0;
    return r;
}

int Authorized(Request& request) {
    std::vector<Change> changes;
    bool dryRun = false;
    if (ReadAgain(request.call, changes, dryRun) < 0) {
        return ReplyWithError(request.call, SD_BUS_ERROR_INVALID_ARGS, "Ungültige Änderung.");
    }
    const ChangeOutcome outcome = ApplyChangeSet(std::move(changes), dryRun);
    const int r = ReplyWithOutcome(request.call, outcome);
    if (outcome.Applied() && !dryRun && !outcome.changed.empty()) {
        journal::WriteChangeSetEntry(outcome.changed, request.caller);
        SignalChanged(request.service->bus, outcome.changed);
    }
    return r;
}

int OnAuthorization(sd_bus_message* answer, void* userdata, sd_bus_error*) {
    Request& request = *static_cast<Request*>(userdata);
    int r = 0;
    if (sd_bus_message_is_method_error(answer, nullptr)) {
        const sd_bus_error* error = sd_bus_message_get_error(answer);
        std::fprintf(stderr, "polkit did not answer: %s\n", error->message);
        r = ReplyWithError(request.call, SD_BUS_ERROR_ACCESS_DENIED,
                           "polkit konnte nicht gefragt werden.");
        Finish(request, true);  // polkit may still be asking, e.g. after our time ran out
        return r;
    }
    // Only polkit itself decides: the bus names who sent the answer.
    const char* sender = sd_bus_message_get_sender(answer);
    const Service& service = *request.service;
    int authorized = 0, challenge = 0;
    if (!sender || service.polkitOwner.empty() || service.polkitOwner != sender) {
        std::fprintf(stderr, "an authorization answer from %s, not from polkit (%s), ignored\n",
                     sender ? sender : "nobody", service.polkitOwner.c_str());
        r = ReplyWithError(request.call, SD_BUS_ERROR_ACCESS_DENIED,
                           "polkit gab keine gültige Antwort.");
    } else if ((r = sd_bus_message_enter_container(answer, 'r', "bba{ss}")) <= 0 ||
               (r = sd_bus_message_read(answer, "bb", &authorized, &challenge)) < 0) {
        r = ReplyWithError(request.call, SD_BUS_ERROR_ACCESS_DENIED,
                           "polkit gab keine lesbare Antwort.");
    } else if (!authorized) {
        r = ReplyWithError(request.call,
                           challenge ? SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED
                                     : SD_BUS_ERROR_ACCESS_DENIED,
                           challenge ? "Zum Speichern ist eine Anmeldung als Administrator nötig."
                                     : "Das Speichern der Einstellungen wurde nicht erlaubt.");
    } else {
        r = Authorized(request);
    }
    Finish(request, false);
    return r;
}

// The bus named the caller: within his user's share, polkit is asked about this very caller.
int OnCallerCredentials(sd_bus_message* answer, void* userdata, sd_bus_error*) {
    Request& request = *static_cast<Request*>(userdata);
    Service& service = *request.service;
    sd_bus_slot_unref(request.pending);
    request.pending = nullptr;
    // Only the bus itself vouches for a connection; anyone may send a reply to our serial.
    const char* from = sd_bus_message_get_sender(answer);
    CallerCredentials credentials;
    if (sd_bus_message_is_method_error(answer, nullptr) || !from ||
        std::strcmp(from, "org.freedesktop.DBus") != 0 ||
        ReadCallerCredentials(answer, credentials) < 0 || !credentials.uid) {
        const int r = ReplyWithError(request.call, SD_BUS_ERROR_ACCESS_DENIED, "Kein Absender.");
        Finish(request, false);
        return r;
    }
    const uid_t uid = *credentials.uid;
    Tally& user = service.byUser[uid];
    if (!user.Admits(request.heldBytes, kMaxWaitingCallsPerUser, kMaxWaitingBytesPerUser)) {
        if (user.calls == 0) service.byUser.erase(uid);
        const int r = ReplyWithError(request.call, kErrorTooManyWaiting, kTooManyWaiting);
        Finish(request, false);
        return r;
    }
    auto sender = service.bySender.find(request.sender);
    if (--sender->second == 0) service.bySender.erase(sender);
    user.Add(request.heldBytes);
    request.userKnown = true;
    request.uid = uid;
    // The process is named now, while it still waits for its answer.
    request.caller = CallerAuthor(credentials);

    const std::string cancellation = CancellationId(request);
    sd_bus_message* question = nullptr;
    int r = sd_bus_message_new_method_call(
        service.bus, &question, kPolkitName, "/org/freedesktop/PolicyKit1/Authority",
        "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
    if (r >= 0) {
        r = sd_bus_message_append(question, "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s",
                                  request.sender.c_str(), kAction, 0, request.interactive ? 1u : 0u,
                                  cancellation.c_str());
    }
    if (r >= 0) {
        r = sd_bus_call_async(
            service.bus, &request.pending, question, OnAuthorization, &request,
            request.interactive ? kInteractiveAuthorizationUsec : kAuthorizationUsec);
    }
    sd_bus_message_unref(question);
    if (r < 0) {
        r = ReplyWithError(request.call, SD_BUS_ERROR_ACCESS_DENIED,
                           "polkit konnte nicht gefragt werden.");
        Finish(request, false);
        return r;
    }
    request.askingPolkit = true;
    return 1;
}

std::size_t HeldBytes(const std::vector<Change>& changes) {
    std::size_t bytes = kFramingPerCall;
    for (const Change& change : changes) {
        bytes += kFramingPerChange + change.keyPath.size() + change.name.size() +
                 change.newValue.data.size() + change.expected.data.size();
    }
    return bytes;
}

// Apply: bounded reading, the settings' rules, then the caller's user and polkit.
int Apply(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    Service& service = *static_cast<Service*>(userdata);
    service.lastCall = Clock::now();
    std::size_t heldBytes = 0;
    {
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
        heldBytes = HeldBytes(changes);
    }  // the names are read again from the call once polkit said yes

    const char* sender = sd_bus_message_get_sender(call);
    if (!sender) return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "Kein Absender.");
    // Until the bus names the caller's user, the caller's connection counts as that user.
    auto known = service.bySender.find(sender);
    if (!service.all.Admits(heldBytes, kMaxWaitingCalls, kMaxWaitingBytes) ||
        (known != service.bySender.end() && known->second >= kMaxWaitingCallsPerUser)) {
        return sd_bus_error_set(error, kErrorTooManyWaiting, kTooManyWaiting);
    }
    const uint64_t id = service.nextId++;
    Request& request = service.requests[id];
    request.service = &service;
    request.id = id;
    request.call = sd_bus_message_ref(call);
    request.sender = sender;
    request.heldBytes = heldBytes;
    request.interactive = sd_bus_message_get_allow_interactive_authorization(call) > 0;
    service.all.Add(heldBytes);
    ++service.bySender[request.sender];
    const int r = sd_bus_call_method_async(service.bus, &request.pending, "org.freedesktop.DBus",
                                           "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                           "GetConnectionCredentials", OnCallerCredentials,
                                           &request, "s", sender);
    if (r < 0) {
        Finish(request, false);
        return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "Kein Absender.");
    }
    return 1;
}

// A name changed hands: polkit's, so that we know whose answer counts, or a caller's that
// left, whose waiting calls are dropped and whose prompts are closed.
int OnNameOwnerChanged(sd_bus_message* signal, void* userdata, sd_bus_error*) {
    Service& service = *static_cast<Service*>(userdata);
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
    if (std::strcmp(name, kPolkitName) == 0) {
        service.polkitOwner = newOwner;
        return 0;
    }
    if (*newOwner) return 0;
    std::vector<uint64_t> left;
    for (const auto& [id, request] : service.requests) {
        if (request.sender == name) left.push_back(id);
    }
    for (const uint64_t id : left) Finish(service.requests.at(id), true);
    return 0;
}

int WatchNames(Service& service) {
    int r = sd_bus_match_signal(service.bus, nullptr, "org.freedesktop.DBus",
                                "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                                OnNameOwnerChanged, &service);
    if (r < 0) return r;
    // From the match on every change is seen; what was before it, the bus tells now.
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* owner = "";
    if (sd_bus_call_method(service.bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetNameOwner", &error, &reply, "s",
                           kPolkitName) >= 0) {
        sd_bus_message_read_basic(reply, 's', &owner);
    }
    service.polkitOwner = owner;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return 0;
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
        if (r < 0 || service.requests.empty()) break;
        sd_bus_wait(service.bus, UINT64_MAX);
    }
    sd_bus_flush(service.bus);
}

}  // namespace

int RunSettingsService(std::chrono::milliseconds idleTime) {
    Service service;
    int r = sd_bus_open_system(&service.bus);
    if (r >= 0) r = WatchNames(service);
    if (r >= 0) {
        r = sd_bus_add_object_vtable(service.bus, nullptr, kObjectPath, kInterface, kVtable,
                                     &service);
    }
    if (r >= 0) r = sd_bus_request_name(service.bus, kBusName, 0);
    if (r < 0) {
        std::fprintf(stderr,
                     "marrowick-settings: Der Dienst %s kommt nicht auf den Systembus: %s\n",
                     kBusName, ErrorName(r));
        sd_bus_flush_close_unref(service.bus);
        return 1;
    }
    for (;;) {
        r = sd_bus_process(service.bus, nullptr);
        if (r < 0) break;
        if (r > 0) continue;
        const auto idleUntil = service.lastCall + idleTime;
        const auto now = Clock::now();
        const bool waiting = !service.requests.empty();
        if (!waiting && now >= idleUntil) break;
        const auto wait =
            waiting ? std::chrono::milliseconds(idleTime)
                    : std::chrono::duration_cast<std::chrono::milliseconds>(idleUntil - now) +
                          std::chrono::milliseconds(1);
        r = sd_bus_wait(service.bus, static_cast<uint64_t>(wait.count()) * 1000);
        if (r < 0 && r != -EINTR) break;
    }
    if (r >= 0) LeaveBus(service);
    // The requests still waiting hold messages of the bus's; they go before it does.
    while (!service.requests.empty()) Finish(service.requests.begin()->second, false);
    sd_bus_flush_close_unref(service.bus);
    // The bus going away ends the service as idleness does.
    if (r == -ECONNRESET || r == -ENOTCONN) return 0;
    if (r < 0) std::fprintf(stderr, "marrowick-settings: Fehler am Systembus: %s\n", ErrorName(r));
    return r < 0 ? 1 : 0;
}

}  // namespace marrowick::service
