// A JSON writer just big enough for the command line's output: one object on one line.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

#include "utf8.h"

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
                const std::size_t length = platform::DecodeUtf8(text.substr(i));
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
    std::ostream& out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

}  // namespace marrowick::cli
