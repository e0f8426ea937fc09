#include "common/gifti.h"

#include <string>

namespace meshbridge {

GiftiImagePtr readGiftiImage(const std::string& path, bool readData) {
    return GiftiImagePtr(gifti_read_image(path.c_str(), readData ? 1 : 0));
}

}  // namespace meshbridge
