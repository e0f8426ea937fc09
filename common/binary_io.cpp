#include "common/binary_io.h"

namespace meshbridge {

namespace {
constexpr std::size_t kBlockSize = 1 << 20;
}

bool BinaryReader::readZeroTerminated(std::string& text) {
    text.clear();
    while (remaining_ > 0) {
        const int c = std::fgetc(file_);
        if (c == EOF) return false;
        --remaining_;
        if (c == 0) return true;
        text.push_back(static_cast<char>(c));
    }
    return false;
}

void BinaryWriter::append(const void* bytes, std::size_t size) {
    const auto* begin = static_cast<const unsigned char*>(bytes);
    if (size >= kBlockSize) {
        flush();
        if (!failed_ && std::fwrite(begin, 1, size, file_) != size) failed_ = true;
        return;
    }
    if (buffer_.size() + size > kBlockSize) flush();
    buffer_.insert(buffer_.end(), begin, begin + size);
}

bool BinaryWriter::flush() {
    if (!buffer_.empty()) {
        if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) failed_ = true;
        buffer_.clear();
    }
    return !failed_;
}

bool seekFile(std::FILE* file, std::int64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::int64_t bytesLeftInFile(std::FILE* file) {
#ifdef _WIN32
    const std::int64_t start = _ftelli64(file);
    if (start < 0 || _fseeki64(file, 0, SEEK_END) != 0) return -1;
    const std::int64_t end = _ftelli64(file);
    if (_fseeki64(file, start, SEEK_SET) != 0) return -1;
#else
    const off_t start = ftello(file);
    if (start < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(file);
    if (fseeko(file, start, SEEK_SET) != 0) return -1;
#endif
    return end < start ? -1 : static_cast<std::int64_t>(end - start);
}

}  // namespace meshbridge
