#include "stdafx.h"

#include "Wire.h"

#include <cerrno>
#include <string>

using marrowick::platform::RegFileValue;

namespace marrowick::service {

namespace {

// A byte field, bounded by what the whole call may still carry.
int ReadBytes(sd_bus_message* message, std::string& bytes, std::size_t& budget) {
    const void* data = nullptr;
    std::size_t size = 0;
    const int r = sd_bus_message_read_array(message, 'y', &data, &size);
    if (r < 0) return r;
    if (size > budget) return -E2BIG;
    budget -= size;
    bytes.assign(static_cast<const char*>(data), size);
    return 0;
}

int ReadBytes(sd_bus_message* message, SharedKeyPath& path, std::size_t& budget) {
    std::string bytes;
    const int r = ReadBytes(message, bytes, budget);
    if (r >= 0) path = std::move(bytes);
    return r;
}

int AppendBytes(sd_bus_message* message, const std::string& bytes) {
    return sd_bus_message_append_array(message, 'y', bytes.data(), bytes.size());
}

// The fields every change carries first, in their order on the wire: its kind, key, name
// and the type and data of the value it sets. A change set's changes and a report's
// changes both start so.
int AppendChangeHead(sd_bus_message* message, const Change& change) {
    const uint32_t kind = change.kind;
    int r = sd_bus_message_append_basic(message, 'u', &kind);
    if (r >= 0) r = AppendBytes(message, change.keyPath);
    if (r >= 0) r = AppendBytes(message, change.name);
    if (r >= 0) r = sd_bus_message_append_basic(message, 'u', &change.newValue.type);
    if (r >= 0) r = AppendBytes(message, change.newValue.data);
    return r;
}

// The same read back; a kind out of range gives badKind. The value is named as the change.
int ReadChangeHead(sd_bus_message* message, Change& change, std::size_t& budget, int badKind) {
    uint32_t kind = 0;
    int r;
    if ((r = sd_bus_message_read_basic(message, 'u', &kind)) < 0) return r;
    if ((r = ReadBytes(message, change.keyPath, budget)) < 0) return r;
    if ((r = ReadBytes(message, change.name, budget)) < 0) return r;
    if ((r = sd_bus_message_read_basic(message, 'u', &change.newValue.type)) < 0) return r;
    if ((r = ReadBytes(message, change.newValue.data, budget)) < 0) return r;
    if (kind > Change::kDeleteValue) return badKind;
    change.kind = static_cast<Change::Kind>(kind);
    change.newValue.name = change.name;
    return 0;
}

// The bus carries only valid UTF-8 in strings; a message quoting a name the caller sent
// may hold other bytes, which become '?'.
std::string ValidUtf8(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (valid && length >= 3) {  // no overlong forms, surrogates or code points past U+10FFFF
            const auto second = static_cast<unsigned char>(text[i + 1]);
            valid = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second >= 0xA0) &&
                    !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
        }
        if (valid && lead != 0) {
            result.append(text, i, length);
            i += length;
        } else {
            result += '?';
            ++i;
        }
    }
    return result;
}

}  // namespace

int ReadChanges(sd_bus_message* message, std::vector<Change>& changes) {
    changes.clear();
    std::size_t budget = kMaxCallBytes;
    int r = sd_bus_message_enter_container(message, 'a', "(uayayuayuuay)");
    if (r < 0) return r;
    for (;;) {
        r = sd_bus_message_enter_container(message, 'r', kChangeFields);
        if (r < 0) return r;
        if (r == 0) break;
        if (changes.size() == kMaxChanges) return -E2BIG;
        Change change;
        uint32_t expectation = 0;
        // A kind out of range is the caller's fault, not the bus's.
        if ((r = ReadChangeHead(message, change, budget, -EINVAL)) < 0) return r;
        if ((r = sd_bus_message_read_basic(message, 'u', &expectation)) < 0) return r;
        if ((r = sd_bus_message_read_basic(message, 'u', &change.expected.type)) < 0) return r;
        if ((r = ReadBytes(message, change.expected.data, budget)) < 0) return r;
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
        if (expectation > Expectation::kEqual) return -EINVAL;
        change.expected.kind = static_cast<Expectation::Kind>(expectation);
        changes.push_back(std::move(change));
    }
    return sd_bus_message_exit_container(message);
}

int AppendChanges(sd_bus_message* message, const std::vector<Change>& changes) {
    int r = sd_bus_message_open_container(message, 'a', "(uayayuayuuay)");
    for (const Change& change : changes) {
        const uint32_t expectation = change.expected.kind;
        if (r >= 0) r = sd_bus_message_open_container(message, 'r', kChangeFields);
        if (r >= 0) r = AppendChangeHead(message, change);
        if (r >= 0) r = sd_bus_message_append_basic(message, 'u', &expectation);
        if (r >= 0) r = sd_bus_message_append_basic(message, 'u', &change.expected.type);
        if (r >= 0) r = AppendBytes(message, change.expected.data);
        if (r >= 0) r = sd_bus_message_close_container(message);
    }
    if (r >= 0) r = sd_bus_message_close_container(message);
    return r;
}

int AppendOutcome(sd_bus_message* message, const ChangeOutcome& outcome) {
    const uint32_t result = outcome.result;
    const int32_t status = static_cast<int32_t>(outcome.status);
    const int64_t failedChange = outcome.failedChange;
    const uint32_t messageId = outcome.messageId;
    int r = sd_bus_message_append(message, "uixus", result, status, failedChange, messageId,
                                  ValidUtf8(outcome.message).c_str());
    if (r >= 0) r = sd_bus_message_open_container(message, 'a', "(uayayuaybuay)");
    for (const Change& change : outcome.changed) {
        const RegFileValue none;
        const RegFileValue& old = change.oldValue ? *change.oldValue : none;
        const int hadOld = change.oldValue.has_value();
        if (r >= 0) r = sd_bus_message_open_container(message, 'r', kChangedFields);
        if (r >= 0) r = AppendChangeHead(message, change);
        if (r >= 0) r = sd_bus_message_append_basic(message, 'b', &hadOld);
        if (r >= 0) r = sd_bus_message_append_basic(message, 'u', &old.type);
        if (r >= 0) r = AppendBytes(message, old.data);
        if (r >= 0) r = sd_bus_message_close_container(message);
    }
    if (r >= 0) r = sd_bus_message_close_container(message);
    return r;
}

int ReadOutcome(sd_bus_message* message, ChangeOutcome& outcome) {
    uint32_t result = 0, messageId = 0;
    int32_t status = 0;
    int64_t failedChange = -1;
    const char* text = "";
    int r =
        sd_bus_message_read(message, "uixus", &result, &status, &failedChange, &messageId, &text);
    if (r < 0) return r;
    if (result > ChangeOutcome::kRegistryError) return -EBADMSG;
    outcome.result = static_cast<ChangeOutcome::Result>(result);
    outcome.status = status;
    outcome.failedChange = failedChange;
    outcome.messageId = messageId;
    outcome.message = text;
    outcome.changed.clear();
    std::size_t budget = SIZE_MAX;  // the service is trusted to answer in proportion
    if ((r = sd_bus_message_enter_container(message, 'a', "(uayayuaybuay)")) < 0) return r;
    for (;;) {
        r = sd_bus_message_enter_container(message, 'r', kChangedFields);
        if (r < 0) return r;
        if (r == 0) break;
        Change change;
        int hadOld = 0;
        RegFileValue old;
        if ((r = ReadChangeHead(message, change, budget, -EBADMSG)) < 0) return r;
        if ((r = sd_bus_message_read_basic(message, 'b', &hadOld)) < 0) return r;
        if ((r = sd_bus_message_read_basic(message, 'u', &old.type)) < 0) return r;
        if ((r = ReadBytes(message, old.data, budget)) < 0) return r;
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
        old.name = change.name;
        if (hadOld) change.oldValue = old;
        outcome.changed.push_back(std::move(change));
    }
    return sd_bus_message_exit_container(message);
}

}  // namespace marrowick::service
