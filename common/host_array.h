// An array of a record that either owns its values or borrows an array that
// the host owns (a record taken from the host's current document). A borrowed
// array is never freed by the plug-in.
#pragma once

#include <cstddef>
#include <vector>

#include "common/huge_pages.h"

namespace meshbridge {

template <class T>
class HostArray {
public:
    HostArray() = default;
    HostArray(HugePageVector<T> values) : owned_(std::move(values)) {}  // NOLINT: owning by value

    static HostArray borrowed(T* data, std::size_t size) {
        HostArray array;
        array.borrowed_ = data;
        array.borrowedSize_ = data ? size : 0;
        return array;
    }

    bool isBorrowed() const { return borrowed_ != nullptr; }
    std::size_t size() const { return borrowed_ ? borrowedSize_ : owned_.size(); }
    bool empty() const { return size() == 0; }
    T* data() { return borrowed_ ? borrowed_ : owned_.data(); }
    const T* data() const { return borrowed_ ? borrowed_ : owned_.data(); }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T* begin() { return data(); }
    T* end() { return data() + size(); }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size(); }

    // The record's own values, for filling; drops a borrowed array.
    HugePageVector<T>& owned() {
        borrowed_ = nullptr;
        borrowedSize_ = 0;
        return owned_;
    }

private:
    HugePageVector<T> owned_;
    T* borrowed_ = nullptr;
    std::size_t borrowedSize_ = 0;
};

}  // namespace meshbridge
