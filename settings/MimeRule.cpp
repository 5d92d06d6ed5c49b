#include "stdafx.h"

#include "MimeRule.h"

#include <string_view>

#include "SettingRules.h"
#include "resource.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// A restricted name of the media type registry: 1 to 127 characters.
bool IsRestrictedName(std::string_view name) {
    if (name.empty() || name.size() > 127) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && (i == 0 || std::string_view("!#$&^_.+-").find(c) == npos)) {
            return false;
        }
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// name=value, the value a token or a quoted string.
bool IsParameter(std::string_view parameter) {
    const std::size_t equals = parameter.find('=');
    if (equals == npos || !IsRestrictedName(parameter.substr(0, equals))) return false;
    const std::string_view value = parameter.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return true;
    if (value.empty()) return false;
    for (char c : value) {
        if (IsControl(static_cast<unsigned char>(c)) ||
            std::string_view(" \"()<>@,;:\\/[]?=").find(c) != npos) {
            return false;
        }
    }
    return true;
}

// "„TEXT“: " and the string resource, its %1 replaced by `detail`.
std::string Refusal(const std::string& text, UINT id, const std::string& detail = {}) {
    std::string message = LoadResourceText(id);
    if (const std::size_t at = message.find("%1"); at != npos) message.replace(at, 2, detail);
    return Quoted(text) + ": " + message;
}

}  // namespace

std::string Quoted(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string quoted = "„";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControl(byte)) {
            quoted += "\\x";
            quoted += digits[byte >> 4];
            quoted += digits[byte & 0xF];
        } else {
            quoted += c;
        }
    }
    return quoted + "“";
}

std::string MimeExtensionProblem(const std::string& extension) {
    if (extension.empty()) return LoadResourceText(IDS_NO_EXTENSION);
    if (extension.front() == '.') {
        return Refusal(extension, IDS_EXTENSION_LEADING_DOT, Quoted(extension.substr(1)));
    }
    for (char c : extension) {
        if (IsControl(static_cast<unsigned char>(c)) || c == ' ' || c == '/' || c == '\\') {
            return Refusal(extension, IDS_EXTENSION_CHARACTERS);
        }
    }
    return {};
}

std::string MimeTypeProblem(const std::string& type) {
    if (type.empty()) return LoadResourceText(IDS_NO_MIMETYPE);
    std::string_view rest(type);
    const std::size_t semicolon = rest.find(';');
    const std::string_view mediaType = rest.substr(0, semicolon);
    const std::size_t slash = mediaType.find('/');
    bool valid = slash != npos && IsRestrictedName(mediaType.substr(0, slash)) &&
                 IsRestrictedName(mediaType.substr(slash + 1));
    if (valid && semicolon != npos) {
        rest.remove_prefix(semicolon + 1);
        while (valid) {
            const std::size_t next = rest.find(';');
            valid = IsParameter(Trimmed(rest.substr(0, next)));
            if (next == npos) break;
            rest.remove_prefix(next + 1);
        }
    }
    return valid ? std::string() : Refusal(type, IDS_MIMETYPE_FORM);
}
