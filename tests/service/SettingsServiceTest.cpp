// The settings service over a real system bus, called as an ordinary user whom polkit lets
// in, so that every refusal here is the service's own; run as root, the tests of two users
// at once (nobody, whom polkit lets in, and daemon, whom it asks for a password that nobody
// gives). with-private-system-bus sets the stage.
#include "stdafx.h"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "SettingRules.h"
#include "SettingsClient.h"
#include "Wire.h"
#include "resource.h"
#include "unprivileged.h"

namespace marrowick::service {
namespace {

const char* const kHive = "/var/lib/marrowick/HKLM.reg";

std::string HiveText() {
    std::ifstream file(kHive);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct Bus {
    sd_bus* bus = nullptr;
    Bus() { EXPECT_GE(sd_bus_open_system(&bus), 0); }
    ~Bus() { sd_bus_flush_close_unref(bus); }
};

// The process that owns the service's name now, or 0.
uint32_t ServicePid() {
    Bus connection;
    sd_bus_message* reply = nullptr;
    uint32_t pid = 0;
    if (sd_bus_call_method(connection.bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetConnectionUnixProcessID", nullptr, &reply,
                           "s", kBusName) >= 0) {
        sd_bus_message_read(reply, "u", &pid);
    }
    sd_bus_message_unref(reply);
    return pid;
}

// How long a wait for the other side may take before the test calls it failed: far longer
// than any of them takes, also under the sanitizers on a loaded machine.
constexpr std::chrono::seconds kPatience{90};

// A raw Apply call, so that the error's name is seen as the bus gives it.
struct Answer {
    std::string error;  // empty on a method return
    ChangeOutcome outcome;
};

sd_bus_message* NewApply(sd_bus* bus, const std::vector<Change>& changes, bool dryRun) {
    sd_bus_message* call = nullptr;
    EXPECT_GE(
        sd_bus_message_new_method_call(bus, &call, kBusName, kObjectPath, kInterface, "Apply"), 0);
    EXPECT_GE(AppendChanges(call, changes), 0);
    EXPECT_GE(sd_bus_message_append(call, "b", static_cast<int>(dryRun)), 0);
    return call;
}

Answer Read(sd_bus_message* reply, const sd_bus_error& error) {
    Answer answer;
    if (sd_bus_error_is_set(&error)) {
        answer.error = error.name;
    } else if (reply && sd_bus_message_is_method_error(reply, nullptr)) {
        answer.error = sd_bus_message_get_error(reply)->name;
    } else {
        EXPECT_GE(ReadOutcome(reply, answer.outcome), 0);
    }
    return answer;
}

// Sends the call and takes it.
Answer Send(Bus& connection, sd_bus_message* call) {
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_call(connection.bus, call, 0, &error, &reply);
    Answer answer = Read(reply, error);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    return answer;
}

Answer Apply(const std::vector<Change>& changes, bool dryRun = false) {
    Bus connection;
    return Send(connection, NewApply(connection.bus, changes, dryRun));
}

Change DocList(DWORD value) {
    return SetDwordChange(kObjectNumKeyPath, "DocList", value);
}

TEST(SettingsService, SavesAndTellsListeners) {
    Bus listener;
    int signals = 0;
    ASSERT_GE(sd_bus_match_signal(
                  listener.bus, nullptr, kBusName, kObjectPath, kInterface, "Changed",
                  [](sd_bus_message*, void* count, sd_bus_error*) {
                      ++*static_cast<int*>(count);
                      return 0;
                  },
                  &signals),
              0);
    const Answer first = Apply({DocList(21)});
    ASSERT_EQ(first.error, "");
    const Answer second = Apply({DocList(22)});
    ASSERT_EQ(second.outcome.result, ChangeOutcome::kApplied) << second.outcome.message;
    ASSERT_EQ(second.outcome.changed.size(), 1u);
    ASSERT_TRUE(second.outcome.changed[0].oldValue.has_value());
    EXPECT_EQ(second.outcome.changed[0].oldValue->data, DwordBytes(21));
    EXPECT_NE(HiveText().find("\"DocList\"=dword:00000016"), std::string::npos);

    const std::string before = HiveText();
    const Answer dry = Apply({DocList(23)}, true);
    EXPECT_EQ(dry.outcome.changed.size(), 1u);
    EXPECT_EQ(HiveText(), before) << "a dry run wrote";

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (signals < 2 && std::chrono::steady_clock::now() < deadline) {
        if (sd_bus_process(listener.bus, nullptr) == 0) sd_bus_wait(listener.bus, 100000);
    }
    EXPECT_EQ(signals, 2) << "one Changed signal per save, none for the dry run";
}

// Whatever a caller sends, nothing is written and the same service answers the next call.
TEST(SettingsService, RefusesHostileCallsAndStaysUp) {
    std::vector<Change> tooMany(100000, DocList(30));
    Change huge = SetStringChange(kMimeMapKeyPath, "pdf", std::string(kMaxCallBytes, 'x'));
    Change nul = DocList(31);
    nul.name = std::string("Doc\0List", 8);
    Change lineBreak = DocList(32);
    lineBreak.name = "Doc\nList";
    Change outside = SetDwordChange("Software\\Other", "DocList", 33);
    Change parent = KeyChange(Change::kDeleteKey, "Software\\TAVIK");
    const struct {
        const char* what;
        std::vector<Change> changes;
        const char* error;  // or "" for the change path's refusal
    } cases[] = {
        {"100,000 changes", tooMany, SD_BUS_ERROR_LIMITS_EXCEEDED},
        {"a value larger than a call may be", {huge}, SD_BUS_ERROR_LIMITS_EXCEEDED},
        {"NUL in a name", {DocList(35), nul}, ""},
        {"a line break in a name", {lineBreak}, ""},
        {"a key outside the viewer's", {outside}, ""},
        {"deleting the viewer's parent key", {parent}, ""},
    };
    ASSERT_EQ(Apply({DocList(40)}).error, "");
    const uint32_t pid = ServicePid();
    const std::string before = HiveText();
    for (const auto& c : cases) {
        const Answer answer = Apply(c.changes);
        EXPECT_EQ(answer.error, c.error) << c.what;
        if (!*c.error) {
            EXPECT_EQ(answer.outcome.result, ChangeOutcome::kInvalid) << c.what;
        }
        EXPECT_EQ(HiveText(), before) << c.what;
    }
    {  // a kind of change no sender may use, with empty names and data
        Bus connection;
        sd_bus_message* call = nullptr;
        ASSERT_GE(sd_bus_message_new_method_call(connection.bus, &call, kBusName, kObjectPath,
                                                 kInterface, "Apply"),
                  0);
        ASSERT_GE(sd_bus_message_append(call, "a(uayayuayuuay)b", 1, 7u, 0, 0, 0u, 0, 0u, 0u, 0, 0),
                  0);
        EXPECT_EQ(Send(connection, call).error, SD_BUS_ERROR_INVALID_ARGS);
        EXPECT_EQ(HiveText(), before);
    }
    {  // a caller that leaves before the answer
        Bus leaving;
        sd_bus_message* call = NewApply(leaving.bus, {DocList(42)}, false);
        EXPECT_GE(sd_bus_send(leaving.bus, call, nullptr), 0);
        sd_bus_message_unref(call);
    }
    EXPECT_EQ(Apply({DocList(41)}).outcome.result, ChangeOutcome::kApplied);
    EXPECT_EQ(ServicePid(), pid) << "the service ended or restarted";
}

// Many callers at once: each call is applied whole, in turn, its expectation tested when
// it commits, so exactly one of them adds the extension.
TEST(SettingsService, ServesConcurrentCallsInTurn) {
    ASSERT_EQ(Apply({DeleteValueChange(kMimeMapKeyPath, "race")}).error, "");
    const int kCallers = 12;
    std::vector<std::unique_ptr<Bus>> buses;
    std::vector<sd_bus_message*> replies(kCallers, nullptr);
    for (int i = 0; i < kCallers; ++i) {
        buses.push_back(std::make_unique<Bus>());
        Change add = SetStringChange(kMimeMapKeyPath, "race", "type/n" + std::to_string(i));
        add.expected.kind = Expectation::kAbsent;
        sd_bus_message* call = NewApply(buses.back()->bus, {add}, false);
        ASSERT_GE(sd_bus_call_async(
                      buses.back()->bus, nullptr, call,
                      [](sd_bus_message* reply, void* slot, sd_bus_error*) {
                          *static_cast<sd_bus_message**>(slot) = sd_bus_message_ref(reply);
                          return 0;
                      },
                      &replies[i], 0),
                  0);
        sd_bus_message_unref(call);
    }
    int applied = 0, refused = 0;
    for (int i = 0; i < kCallers; ++i) {
        while (!replies[i]) {
            if (sd_bus_process(buses[i]->bus, nullptr) == 0) sd_bus_wait(buses[i]->bus, 100000);
        }
        const Answer answer = Read(replies[i], SD_BUS_ERROR_NULL);
        applied += answer.outcome.result == ChangeOutcome::kApplied;
        refused += answer.outcome.result == ChangeOutcome::kExpectationFailed;
        sd_bus_message_unref(replies[i]);
    }
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(refused, kCallers - 1);
}

TEST(SettingsService, OnlyRootOwnsTheName) {
    Bus connection;
    EXPECT_LT(sd_bus_request_name(connection.bus, kBusName, SD_BUS_NAME_QUEUE), 0);
}

TEST(SettingsService, EndsWhenIdleAndStartsOnTheNextCall) {
    ASSERT_EQ(Apply({DocList(50)}).error, "");
    const uint32_t first = ServicePid();
    ASSERT_NE(first, 0u);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (ServicePid() != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_EQ(ServicePid(), 0u) << "still running when idle";
    EXPECT_EQ(Apply({DocList(51)}).outcome.result, ChangeOutcome::kApplied);
    EXPECT_NE(ServicePid(), 0u);
}

// --- Two users at once (run as root) ---

// Reads what /proc says of a process: a field of its status file in KiB, or -1.
long StatusKiB(uint32_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

uint64_t ProcessStartTime() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22; ++i) fields >> field;  // state is field 3, starttime field 22
    uint64_t start = 0;
    fields >> start;
    return start;
}

// A polkit agent for this process that never answers: every check that needs a password
// waits until it is cancelled, as behind a prompt left open.
class SilentAgent {
public:
    int begun = 0, cancelled = 0;
    SilentAgent() {
        static const sd_bus_vtable kAgent[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("BeginAuthentication", "sssa{ss}sa(sa{sv})", "", Begin,
                          SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("CancelAuthentication", "s", "", Cancel, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_VTABLE_END};
        ok_ = sd_bus_add_object_vtable(bus_.bus, nullptr, kPath,
                                       "org.freedesktop.PolicyKit1.AuthenticationAgent", kAgent,
                                       this) >= 0 &&
              sd_bus_call_method(bus_.bus, "org.freedesktop.PolicyKit1",
                                 "/org/freedesktop/PolicyKit1/Authority",
                                 "org.freedesktop.PolicyKit1.Authority",
                                 "RegisterAuthenticationAgent", nullptr, nullptr, "(sa{sv})ss",
                                 "unix-process", 2, "pid", "u", static_cast<uint32_t>(getpid()),
                                 "start-time", "t", ProcessStartTime(), "C.UTF-8", kPath) >= 0;
    }
    ~SilentAgent() {
        for (sd_bus_message* prompt : prompts_) sd_bus_message_unref(prompt);
    }
    bool Registered() const { return ok_; }
    // Serves polkit until `done` holds or 20 s have passed.
    template <typename Done>
    bool ServeUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            if (sd_bus_process(bus_.bus, nullptr) == 0) sd_bus_wait(bus_.bus, 100000);
        }
        return done();
    }

private:
    static constexpr const char* kPath = "/org/marrowick/test/SilentAgent";
    static int Begin(sd_bus_message* call, void* self, sd_bus_error*) {
        auto& agent = *static_cast<SilentAgent*>(self);
        agent.prompts_.push_back(sd_bus_message_ref(call));  // no answer, ever
        ++agent.begun;
        return 1;
    }
    static int Cancel(sd_bus_message* call, void* self, sd_bus_error*) {
        ++static_cast<SilentAgent*>(self)->cancelled;
        return sd_bus_reply_method_return(call, "");
    }
    Bus bus_;
    bool ok_ = false;
    std::vector<sd_bus_message*> prompts_;
};

// One user's calls waiting behind prompts he does not answer, each on a connection of its own.
struct WaitingCalls {
    std::vector<std::unique_ptr<Bus>> callers;
    int answered = 0;
    void Send(const std::vector<Change>& changes) {
        callers.push_back(std::make_unique<Bus>());
        sd_bus_message* call = NewApply(callers.back()->bus, changes, false);
        sd_bus_message_set_allow_interactive_authorization(call, 1);
        sd_bus_call_async(
            callers.back()->bus, nullptr, call,
            [](sd_bus_message*, void* count, sd_bus_error*) {
                ++*static_cast<int*>(count);
                return 0;
            },
            &answered, UINT64_MAX);
        sd_bus_message_unref(call);
        sd_bus_flush(callers.back()->bus);
    }
    void Process() {
        for (auto& caller : callers) sd_bus_process(caller->bus, nullptr);
    }
};

// Each step of the holder a child process: its exit status says which one failed.
enum HolderFailure {
    kHeld = 0,
    kNoAgent = 10,
    kNotWaiting,
    kAnsweredWhileWaiting,
    kNotRefused,
    kNotCancelled,
    kNotAdmittedAgain,
};

// As many calls as the service used to let one user keep waiting, shared by everyone.
constexpr int kAttempts = 32;

// `user` holds all the service lets him wait with `changes` each, sees `refused` more
// refused, tells `ready` so, waits for `go`, then leaves the bus and sees his prompts
// closed and his share free again.
int HoldEveryWaitingCall(const std::vector<Change>& changes, int admitted, int refused, int ready,
                         int go) {
    SilentAgent agent;
    if (!agent.Registered()) return kNoAgent;
    WaitingCalls calls;
    for (int i = 0; i < admitted; ++i) calls.Send(changes);
    if (!agent.ServeUntil([&] { return agent.begun == admitted; })) return kNotWaiting;
    calls.Process();
    if (calls.answered != 0) return kAnsweredWhileWaiting;
    // The rest of what he tries is refused, in the clients' words.
    for (int i = 0; i < refused; ++i) {
        const ChangeOutcome past =
            ApplyThroughService(changes, false, {.askPassword = true, .textAgent = false});
        if (past.status != ERROR_NOT_ENOUGH_QUOTA || past.messageId != IDS_TOO_MANY_WAITING) {
            std::fprintf(stderr, "a call past the share: %ld %s\n", static_cast<long>(past.status),
                         past.message.c_str());
            return kNotRefused;
        }
    }
    char byte = 0;
    if (write(ready, "r", 1) != 1 || read(go, &byte, 1) != 1) return kNotRefused;
    calls.callers.clear();  // the callers leave; the agent stays
    if (!agent.ServeUntil([&] { return agent.cancelled == admitted; })) return kNotCancelled;
    WaitingCalls again;
    again.Send(changes);
    if (!agent.ServeUntil([&] { return agent.begun == admitted + 1; })) return kNotAdmittedAgain;
    return kHeld;
}

// A connection of its own, speaking the bus's wire format by hand: sd-bus sends no reply
// that answers nothing, and that is what a forger sends.
class RawConnection {
public:
    RawConnection() {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/run/dbus/system_bus_socket");
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        std::string uid;
        for (const char digit : std::to_string(geteuid())) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(digit));
            uid += hex;
        }
        char answer[256] = {};
        ok_ = Write(std::string(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n") &&
              read(fd_, answer, sizeof answer - 1) > 0 && std::strncmp(answer, "OK ", 3) == 0 &&
              Write("BEGIN\r\n") &&
              Write(Message(1,
                            {{1, 'o', "/org/freedesktop/DBus"},
                             {2, 's', "org.freedesktop.DBus"},
                             {3, 's', "Hello"},
                             {6, 's', "org.freedesktop.DBus"}},
                            ""));
    }
    ~RawConnection() {
        if (fd_ >= 0) close(fd_);
    }
    bool Connected() const { return ok_; }
    // polkit's "authorized, no challenge" as the answer to `destination`'s call `serial`.
    bool SendAuthorized(const std::string& destination, uint32_t serial) {
        std::string body;
        Put32(body, 1);  // is_authorized
        Put32(body, 0);  // is_challenge
        Put32(body, 0);  // no details
        Put32(body, 0);  // padding to the dict entries' alignment
        return Write(Message(
            2, {{5, 'u', std::to_string(serial)}, {6, 's', destination}, {8, 'g', "(bba{ss})"}},
            body));
    }

private:
    struct Field {
        uint8_t code;
        char type;
        std::string value;
    };
    static void Align(std::string& bytes, std::size_t to) {
        while (bytes.size() % to) bytes += '\0';
    }
    static void Put32(std::string& bytes, uint32_t value) {
        Align(bytes, 4);
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
    }
    std::string Message(uint8_t type, const std::vector<Field>& fields, const std::string& body) {
        std::string bytes = {'l', static_cast<char>(type), 1 /* no reply expected */, 1};
        Put32(bytes, static_cast<uint32_t>(body.size()));
        Put32(bytes, ++serial_);
        const std::size_t lengthAt = bytes.size();
        Put32(bytes, 0);
        const std::size_t start = bytes.size();
        for (const Field& field : fields) {
            Align(bytes, 8);
            bytes += static_cast<char>(field.code);
            bytes += '\1';
            bytes += field.type;
            bytes += '\0';
            if (field.type == 'u') {
                Put32(bytes, static_cast<uint32_t>(std::stoul(field.value)));
            } else if (field.type == 'g') {
                bytes += static_cast<char>(field.value.size());
                bytes += field.value + '\0';
            } else {
                Put32(bytes, static_cast<uint32_t>(field.value.size()));
                bytes += field.value + '\0';
            }
        }
        const auto length = static_cast<uint32_t>(bytes.size() - start);
        for (int i = 0; i < 4; ++i) bytes[lengthAt + i] = static_cast<char>(length >> (8 * i));
        Align(bytes, 8);
        return bytes + body;
    }
    bool Write(const std::string& bytes) {
        return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    int fd_ = -1;
    bool ok_ = false;
    uint32_t serial_ = 0;
};

std::string ServiceOwner() {
    Bus connection;
    sd_bus_message* reply = nullptr;
    const char* owner = "";
    std::string name;
    if (sd_bus_call_method(connection.bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetNameOwner", nullptr, &reply, "s",
                           kBusName) >= 0 &&
        sd_bus_message_read_basic(reply, 's', &owner) >= 0) {
        name = owner;
    }
    sd_bus_message_unref(reply);
    return name;
}

enum ForgeryFailure {
    kRefused = 0,
    kNoForger = 20,
    kNeverAsked,
    kNoAnswer,
    kForgeryTaken,
};

// While polkit asks this user for a password, a forger answers "authorized" for every call
// the service may have made. The call is refused, as the answer did not come from polkit.
int ForgeAuthorization() {
    SilentAgent agent;
    if (!agent.Registered()) return kNoAgent;
    WaitingCalls calls;
    std::string error;
    calls.callers.push_back(std::make_unique<Bus>());
    sd_bus_message* call = NewApply(calls.callers.back()->bus, {DocList(70)}, false);
    sd_bus_message_set_allow_interactive_authorization(call, 1);
    sd_bus_call_async(
        calls.callers.back()->bus, nullptr, call,
        [](sd_bus_message* reply, void* name, sd_bus_error*) {
            *static_cast<std::string*>(name) = sd_bus_message_is_method_error(reply, nullptr)
                                                   ? sd_bus_message_get_error(reply)->name
                                                   : "(a method return)";
            return 0;
        },
        &error, UINT64_MAX);
    sd_bus_message_unref(call);
    sd_bus_flush(calls.callers.back()->bus);
    if (!agent.ServeUntil([&] { return agent.begun == 1; })) return kNeverAsked;
    RawConnection forger;
    const std::string service = ServiceOwner();
    if (!forger.Connected() || service.empty()) return kNoForger;
    for (uint32_t serial = 1; serial < 1000; ++serial) forger.SendAuthorized(service, serial);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (error.empty() && std::chrono::steady_clock::now() < deadline) {
        if (sd_bus_process(calls.callers.back()->bus, nullptr) == 0) {
            sd_bus_wait(calls.callers.back()->bus, 100000);
        }
    }
    if (error.empty()) return kNoAnswer;
    if (error != SD_BUS_ERROR_ACCESS_DENIED) {
        std::fprintf(stderr, "the forged call ended with %s\n", error.c_str());
        return kForgeryTaken;
    }
    return kRefused;
}

TEST(SettingsServiceTwoUsers, TakesTheAuthorizationOnlyFromPolkit) {
    if (!marrowick::test::ChildrenRunAsAnotherUser()) GTEST_SKIP() << "needs root";
    ASSERT_EQ(Apply({DocList(69)}).error, "");
    const std::string before = HiveText();
    EXPECT_EQ(marrowick::test::UnprivilegedChild(ForgeAuthorization, "daemon").Wait(), kRefused)
        << "see ForgeryFailure";
    EXPECT_EQ(HiveText(), before);
}

std::vector<Change> MimeChanges(int count, std::size_t typeBytes) {
    std::vector<Change> changes;
    for (int i = 0; i < count; ++i) {
        changes.push_back(SetStringChange(kMimeMapKeyPath, "held" + std::to_string(i),
                                          "application/" + std::string(typeBytes, 'x')));
    }
    return changes;
}

// One user keeps every call the service lets him wait with (small ones, then ones of a few
// MiB) behind password prompts he never answers. Another user's save is not refused and
// not kept waiting; the first user's next call is refused with a message of its own; when
// he leaves the bus, polkit is told to close his prompts and his share is free again.
TEST(SettingsServiceTwoUsers, OneUsersWaitingCallsNeverHoldUpAnothersSave) {
    if (!marrowick::test::ChildrenRunAsAnotherUser()) GTEST_SKIP() << "needs root";
    const std::size_t megabyteType = (std::size_t{1} << 20) - 64;
    const struct {
        const char* what;
        std::vector<Change> changes;
        int admitted;  // by the share of waiting calls, or of their bytes
        int refused;   // tried past the share
    } cases[] = {
        // Up to what everyone together once had.
        {"small calls",
         {DocList(60)},
         kMaxWaitingCallsPerUser,
         kAttempts - kMaxWaitingCallsPerUser},
        // A few past the share of bytes: each is read whole before it is refused, which
        // under the sanitizers takes a second or more.
        {"calls of 3 MiB", MimeChanges(3, megabyteType),
         static_cast<int>(kMaxWaitingBytesPerUser / (3 * (std::size_t{1} << 20))), 3},
        // Just under what a call may carry: with its framing, two are more than the share.
        {"calls of almost 4 MiB", MimeChanges(4, megabyteType - 256), 1, 3},
    };
    // Another user's save as a child of ours, and how long it took.
    const auto timedSave = [](double& ms) {
        const auto start = std::chrono::steady_clock::now();
        const int status = marrowick::test::RunAsUnprivilegedUser([] {
            const Answer answer = Apply({DocList(61)});
            return answer.error.empty() && answer.outcome.result == ChangeOutcome::kApplied ? 0 : 1;
        });
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                 .count();
        return status;
    };
    // A holder that gave up early has closed its end of `go`: our write must then fail
    // and let the holder's status say why, not end this process with SIGPIPE.
    struct IgnoreSigpipe {
        IgnoreSigpipe() : before(std::signal(SIGPIPE, SIG_IGN)) {}
        ~IgnoreSigpipe() { std::signal(SIGPIPE, before); }
        void (*before)(int);
    } ignoreSigpipe;
    double aloneMs = -1;
    ASSERT_EQ(timedSave(aloneMs), 0);
    std::printf("alone: a save took %.1f ms\n", aloneMs);
    for (const auto& c : cases) {
        int ready[2], go[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(go), 0);
        marrowick::test::UnprivilegedChild holder(
            [&] { return HoldEveryWaitingCall(c.changes, c.admitted, c.refused, ready[1], go[0]); },
            "daemon");
        close(ready[1]);
        close(go[0]);
        char byte = 0;
        const bool held = read(ready[0], &byte, 1) == 1;
        double savedMs = -1;
        int saved = -1;
        if (held) {
            saved = timedSave(savedMs);
            const uint32_t pid = ServicePid();
            std::printf(
                "%s: %d calls of another user waiting, %d more refused; a save took %.1f ms; "
                "the service's peak memory (VmHWM) %ld KiB, now %ld KiB\n",
                c.what, c.admitted, c.refused, savedMs, StatusKiB(pid, "VmHWM"),
                StatusKiB(pid, "VmRSS"));
        }
        if (held) {
            EXPECT_EQ(write(go[1], "g", 1), 1);
        }
        close(go[1]);
        close(ready[0]);
        EXPECT_TRUE(held) << c.what << ": the holder did not get to hold his share";
        EXPECT_EQ(saved, 0) << c.what << ": the other user's save failed";
        EXPECT_EQ(holder.Wait(), kHeld) << c.what << " (see HolderFailure)";
    }
}

}  // namespace
}  // namespace marrowick::service
