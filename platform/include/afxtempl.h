// The framework's growable array, for platforms without it.
#pragma once

#ifdef _WIN32
#error "Use the framework's own headers on Windows."
#endif

#include <afx.h>

#include <cstddef>
#include <utility>
#include <vector>

// CArray owns its elements by value. INT_PTR indexes, as in the framework.
template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray : public CObject {
public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(items_.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    BOOL IsEmpty() const { return items_.empty(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    void SetSize(INT_PTR newSize) { items_.resize(static_cast<std::size_t>(newSize)); }

    const TYPE& GetAt(INT_PTR index) const { return items_.at(static_cast<std::size_t>(index)); }
    TYPE& ElementAt(INT_PTR index) { return items_.at(static_cast<std::size_t>(index)); }
    void SetAt(INT_PTR index, ARG_TYPE element) { ElementAt(index) = element; }
    const TYPE& operator[](INT_PTR index) const { return GetAt(index); }
    TYPE& operator[](INT_PTR index) { return ElementAt(index); }
    const TYPE* GetData() const { return items_.data(); }
    TYPE* GetData() { return items_.data(); }

    // Appends and returns the new element's index.
    INT_PTR Add(ARG_TYPE element) {
        items_.push_back(element);
        return GetSize() - 1;
    }
    void InsertAt(INT_PTR index, ARG_TYPE element) {
        items_.insert(items_.begin() + index, element);
    }
    void RemoveAt(INT_PTR index, INT_PTR count = 1) {
        items_.erase(items_.begin() + index, items_.begin() + index + count);
    }
    void RemoveAll() { items_.clear(); }
    void Copy(const CArray& source) { items_ = source.items_; }

private:
    std::vector<TYPE> items_;
};
