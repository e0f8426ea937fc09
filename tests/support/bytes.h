// Little-endian bytes written out by hand, to state expected file layouts.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace meshbridge::test {

class Bytes {
public:
    Bytes& i8(std::int8_t v) { return raw(&v, 1); }
    Bytes& u8(std::uint8_t v) { return raw(&v, 1); }
    Bytes& i16(std::int16_t v) { return little(static_cast<std::uint16_t>(v), 2); }
    Bytes& i32(std::int32_t v) { return little(static_cast<std::uint32_t>(v), 4); }
    Bytes& f32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return little(bits, 4);
    }
    Bytes& text(const std::string& t) {  // bytes and one zero byte
        bytes_ += t;
        bytes_.push_back('\0');
        return *this;
    }
    const std::string& str() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    Bytes& raw(const void* p, std::size_t n) {
        bytes_.append(static_cast<const char*>(p), n);
        return *this;
    }
    Bytes& little(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    std::string bytes_;
};

}  // namespace meshbridge::test
