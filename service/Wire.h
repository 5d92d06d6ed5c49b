// How a change set travels to the settings service on the system bus and how its outcome
// comes back. Shared by the service and its clients, so both sides read and write the
// same layout. Include after stdafx.h.
//
// Method Apply(a(uayayuayuuay) changes, b dryRun)
//            -> (u result, i status, x failedChange, u messageId, s message,
//                a(uayayuaybuay) changed)
//   A change: kind (Change::Kind), key path below HKEY_LOCAL_MACHINE, value name, the new
//   value's type and bytes, then what it expects: kind (Expectation::Kind), type, bytes.
//   Names and paths are bytes as the store keeps them, so that the service, not the bus,
//   decides what a name may hold.
//   The reply is the change path's outcome: result (ChangeOutcome::Result), the registry's
//   Win32 code, the index of the refused change or -1, the dialog's message number or 0,
//   the refusal in German, and each change made (or, dry, that would be made) with the
//   value stored before it: kind, key, name, new type and bytes, whether there was an old
//   value, its type and bytes.
//   Not authorised: the error org.freedesktop.DBus.Error.AccessDenied, or
//   ...InteractiveAuthorizationRequired when the caller did not allow a password prompt.
//   Too many changes or too many bytes: ...LimitsExceeded; a malformed change:
//   ...InvalidArgs; too many calls of the caller's user, or of everyone, already waiting
//   for polkit: kErrorTooManyWaiting. Either way nothing is written.
// Signal Changed(aay keys): the keys whose values or subkeys were changed, after a save.
#pragma once

#include <systemd/sd-bus.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ChangeSet.h"

namespace marrowick::service {

inline constexpr const char* kBusName = "org.marrowick.Settings1";
inline constexpr const char* kObjectPath = "/org/marrowick/Settings1";
inline constexpr const char* kInterface = "org.marrowick.Settings1";
inline constexpr const char* kAction = "org.marrowick.settings.change";
inline constexpr const char* kErrorTooManyWaiting = "org.marrowick.Settings1.Error.TooManyWaiting";

// How long the service waits for polkit's answer: a person may be typing a password; without
// a prompt it is quick. A client waits longer than that, so that it reports what the service
// or the bus says (the bus also reports a service that cannot be started).
inline constexpr uint64_t kInteractiveAuthorizationUsec = 300ull * 1000 * 1000;
inline constexpr uint64_t kAuthorizationUsec = 25ull * 1000 * 1000;

inline constexpr const char* kChangeFields = "uayayuayuuay";
inline constexpr const char* kChangedFields = "uayayuaybuay";
inline constexpr const char* kApplySignature = "a(uayayuayuuay)b";
inline constexpr const char* kReplySignature = "uixusa(uayayuaybuay)";

// What one call may carry. The viewer's settings and a MIME map of thousands of
// extensions fit easily; anything larger is refused before it is looked at.
inline constexpr std::size_t kMaxChanges = 10000;
inline constexpr std::size_t kMaxCallBytes = std::size_t{4} << 20;
// What the calls of one user that wait for polkit may hold at once: calls, and the bytes
// of their messages. More are refused with kErrorTooManyWaiting; other users are not.
inline constexpr int kMaxWaitingCallsPerUser = 8;
inline constexpr std::size_t kMaxWaitingBytesPerUser = std::size_t{8} << 20;

// Reads the changes of an Apply call (the message positioned at its first argument).
// Returns a negative errno: -E2BIG when the call exceeds the limits above, -EINVAL for a
// kind out of range, -ENXIO... from the bus for a malformed message.
int ReadChanges(sd_bus_message* message, std::vector<Change>& changes);
int AppendChanges(sd_bus_message* message, const std::vector<Change>& changes);

// The reply's arguments, both ways.
int AppendOutcome(sd_bus_message* message, const ChangeOutcome& outcome);
int ReadOutcome(sd_bus_message* message, ChangeOutcome& outcome);

}  // namespace marrowick::service
