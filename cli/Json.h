// A JSON writer just big enough for the command line's output: one object on one line.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

namespace marrowick::cli {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    // A member's name; its value follows.
    JsonWriter& Key(std::string_view name) {
        Separate();
        Quote(name);
        out_ << ':';
        afterKey_ = true;
        return *this;
    }
    JsonWriter& String(std::string_view text) {
        Separate();
        Quote(text);
        return *this;
    }
    JsonWriter& Number(std::int64_t number) {
        Separate();
        out_ << number;
        return *this;
    }
    JsonWriter& Bool(bool value) {
        Separate();
        out_ << (value ? "true" : "false");
        return *this;
    }
    JsonWriter& Null() {
        Separate();
        out_ << "null";
        return *this;
    }

private:
    JsonWriter& Open(char bracket) {
        Separate();
        out_ << bracket;
        first_.push_back(true);
        return *this;
    }
    JsonWriter& Close(char bracket) {
        out_ << bracket;
        first_.pop_back();
        return *this;
    }
    // A comma before every element but the first, none between a key and its value.
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (first_.empty()) return;
        if (!first_.back()) out_ << ',';
        first_.back() = false;
    }
    // Text is UTF-8 and stays so; only what JSON demands is escaped: control characters as
    // \u00NN (the dialogs show them as \xNN), DEL as it is. The registry may hold bytes
    // that are not UTF-8, which JSON cannot carry: each such byte is written as the four
    // characters \xNN, as the dialogs show it.
    void Quote(std::string_view text) {
        static const char digits[] = "0123456789abcdef";
        out_ << '"';
        for (std::size_t i = 0; i < text.size();) {
            const char c = text[i];
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out_ << '\\' << c;
            } else if (byte < 0x20) {
                out_ << "\\u00" << digits[byte >> 4] << digits[byte & 0xF];
            } else if (byte >= 0x80) {
                const std::size_t length = Utf8SequenceLength(text.substr(i));
                if (length == 0) {
                    out_ << "\\\\x" << digits[byte >> 4] << digits[byte & 0xF];
                    ++i;
                } else {
                    out_ << text.substr(i, length);
                    i += length;
                }
                continue;
            } else {
                out_ << c;
            }
            ++i;
        }
        out_ << '"';
    }
    // The length of the well-formed UTF-8 sequence the text starts with, or 0.
    static std::size_t Utf8SequenceLength(std::string_view text) {
        const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
        const unsigned char lead = at(0);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;   // no overlong forms
            if (lead == 0xED) high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
        }
        if (length == 0 || text.size() < length || at(1) < low || at(1) > high) return 0;
        for (std::size_t i = 2; i < length; ++i) {
            if (at(i) < 0x80 || at(i) > 0xBF) return 0;
        }
        return length;
    }

    std::ostream& out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

}  // namespace marrowick::cli
