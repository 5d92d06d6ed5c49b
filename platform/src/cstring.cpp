#include <afx.h>
#include <mbstring.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const unsigned char* Bytes(LPCTSTR text) {
    return reinterpret_cast<const unsigned char*>(text ? text : "");
}

std::atomic<AfxStringLookup> g_stringLookup{nullptr};

}  // namespace

CString::CString(LPCTSTR text) : text_(text ? text : "") {}

CString::CString(LPCTSTR text, int length) {
    if (text && length > 0) text_.assign(text, static_cast<std::size_t>(length));
}

CString::CString(TCHAR ch, int repeat) {
    if (repeat > 0) text_.assign(static_cast<std::size_t>(repeat), ch);
}

CString& CString::operator=(LPCTSTR text) {
    text_ = text ? text : "";
    return *this;
}

CString& CString::operator=(TCHAR ch) {
    text_.assign(1, ch);
    return *this;
}

TCHAR CString::GetAt(int index) const {
    ASSERT(index >= 0 && index < GetLength());
    return text_.at(static_cast<std::size_t>(index));
}

void CString::SetAt(int index, TCHAR ch) {
    ASSERT(index >= 0 && index < GetLength());
    text_.at(static_cast<std::size_t>(index)) = ch;
}

CString& CString::operator+=(const CString& other) {
    text_ += other.text_;
    return *this;
}

CString& CString::operator+=(LPCTSTR text) {
    if (text) text_ += text;
    return *this;
}

CString& CString::operator+=(TCHAR ch) {
    text_ += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    return CString(a.text_ + b.text_);
}
CString operator+(const CString& a, LPCTSTR b) {
    CString result(a);
    result += b;
    return result;
}
CString operator+(LPCTSTR a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}
CString operator+(const CString& a, TCHAR b) {
    CString result(a);
    result += b;
    return result;
}
CString operator+(TCHAR a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

int CString::Compare(LPCTSTR other) const {
    return _mbscmp(Bytes(text_.c_str()), Bytes(other));
}

int CString::CompareNoCase(LPCTSTR other) const {
    return _mbsicmp(Bytes(text_.c_str()), Bytes(other));
}

bool operator==(const CString& a, const CString& b) {
    return a.str() == b.str();
}
bool operator==(const CString& a, LPCTSTR b) {
    return a.Compare(b) == 0;
}
bool operator==(LPCTSTR a, const CString& b) {
    return b.Compare(a) == 0;
}
bool operator!=(const CString& a, const CString& b) {
    return !(a == b);
}
bool operator!=(const CString& a, LPCTSTR b) {
    return !(a == b);
}
bool operator!=(LPCTSTR a, const CString& b) {
    return !(a == b);
}
bool operator<(const CString& a, const CString& b) {
    return a.str() < b.str();
}

int CString::Find(TCHAR ch, int start) const {
    if (start < 0 || start > GetLength()) return -1;
    const auto at = text_.find(ch, static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCTSTR sub, int start) const {
    if (start < 0 || start > GetLength()) return -1;
    const auto at = text_.find(sub ? sub : "", static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const {
    return Mid(0, count);
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(text_.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return Mid(GetLength() - count, count);
}

CString& CString::Trim() {
    const char* blanks = " \t\r\n\v\f";
    const auto first = text_.find_first_not_of(blanks);
    if (first == std::string::npos) {
        text_.clear();
    } else {
        text_ = text_.substr(first, text_.find_last_not_of(blanks) - first + 1);
    }
    return *this;
}

void CString::Format(LPCTSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCTSTR format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        text_.clear();
        return;
    }
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text_.assign(buffer.data(), static_cast<std::size_t>(length));
}

BOOL CString::LoadString(UINT id) {
    LPCTSTR text = AfxFindStringResource(id);
    text_ = text ? text : "";
    return text != nullptr;
}

LPTSTR CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) text_.resize(static_cast<std::size_t>(minLength));
    return text_.data();
}

LPTSTR CString::GetBufferSetLength(int length) {
    text_.resize(static_cast<std::size_t>(std::max(length, 0)));
    return text_.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) newLength = static_cast<int>(std::strlen(text_.c_str()));
    text_.resize(static_cast<std::size_t>(std::min(newLength, GetLength())));
}

void AfxSetStringLookup(AfxStringLookup lookup) {
    g_stringLookup.store(lookup);
}

LPCTSTR AfxFindStringResource(UINT id) {
    const AfxStringLookup lookup = g_stringLookup.load();
    return lookup ? lookup(id) : nullptr;
}
