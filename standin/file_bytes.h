// Reading the host's files as the host does: bytes of a whole file, little-endian
// values taken from them with every count checked.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace meshbridge::standin {

// Little-endian values from a file held in memory, bounds-checked.
class Bytes {
public:
    explicit Bytes(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

    template <class T>
    bool get(T& value) {
        if (bytes_.size() - at_ < sizeof(T)) return false;
        unsigned char raw[sizeof(T)];
        for (std::size_t i = 0; i < sizeof(T); ++i) raw[i] = bytes_[at_ + i];  // little-endian, as the host
        std::memcpy(&value, raw, sizeof(T));
        at_ += sizeof(T);
        return true;
    }

    template <class T>
    bool getArray(std::vector<T>& values, std::int64_t count) {
        if (count < 0 || static_cast<std::uint64_t>(count) > (bytes_.size() - at_) / sizeof(T)) return false;
        values.resize(static_cast<std::size_t>(count));
        for (T& value : values) get(value);
        return true;
    }

    bool text(std::string& value) {
        const auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(at_);
        const auto zero = std::find(begin, bytes_.end(), '\0');
        if (zero == bytes_.end()) return false;
        value.assign(begin, zero);
        at_ += value.size() + 1;
        return true;
    }

    bool skip(std::int64_t count) {
        if (count < 0 || static_cast<std::uint64_t>(count) > bytes_.size() - at_) return false;
        at_ += static_cast<std::size_t>(count);
        return true;
    }

private:
    std::vector<unsigned char> bytes_;
    std::size_t at_ = 0;
};

// The bytes of a whole file; `opened` says whether it could be opened.
std::vector<unsigned char> fileBytes(const std::string& path, bool& opened);


}  // namespace meshbridge::standin
