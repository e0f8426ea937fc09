#include "standin/file_bytes.h"

#include <fstream>
#include <iterator>

namespace meshbridge::standin {

std::vector<unsigned char> fileBytes(const std::string& path, bool& opened) {
    std::ifstream in(path, std::ios::binary);
    opened = static_cast<bool>(in);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace meshbridge::standin
