// The maps of the host's current surface.
#include "standin/host_documents.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "standin/file_bytes.h"

namespace meshbridge::standin {

namespace {

// An SMP file as the host reads it, any version (versions above 5 read as 5).
bool readMaps(const std::string& path, std::int32_t& vertices, std::vector<HostMap>& maps, std::string& error) {
    bool opened = false;
    Bytes file(fileBytes(path, opened));
    if (!opened) {
        error = "cannot open " + path;
        return false;
    }
    std::int16_t version = 0, count = 0;
    std::string surfaceName;
    bool ok = file.get(version) && file.get(vertices) && file.get(count) && file.text(surfaceName) && vertices >= 0 &&
              count >= 0;
    maps.clear();
    for (std::int16_t m = 0; ok && m < count; ++m) {
        HostMap map;
        std::int32_t unused = 0;
        std::uint8_t byte = 0;
        std::string text;
        HostSmpInfo& settings = map.settings;
        ok = file.get(settings.mapType);
        if (ok && settings.mapType == 3) {
            ok = file.get(unused) && file.get(unused) && file.get(unused) && file.get(settings.ccOverlay);
        }
        ok = ok && file.get(unused) && file.get(byte) && file.get(settings.thresholdMin) &&
             file.get(settings.thresholdMax);
        if (ok && version >= 4) ok = file.get(unused);
        ok = ok && file.get(settings.df1) && file.get(settings.df2);
        if (ok && version >= 5) ok = file.get(unused);
        ok = ok && file.get(unused) && file.skip(6);
        if (ok && version >= 4) ok = file.skip(6);
        ok = ok && file.get(byte);
        if (ok && version >= 5) ok = file.text(text);
        float transparency = 0.0f;
        ok = ok && file.get(transparency) && file.text(text);
        std::copy_n(text.begin(), std::min(text.size(), map.name.size() - 1), map.name.begin());
        ok = ok && file.getArray(map.values, vertices);
        maps.push_back(std::move(map));
    }
    if (!ok) error = path + " is not an SMP file";
    return ok;
}

}  // namespace

bool HostDocuments::openMaps(const std::string& path, std::string& error) {
    std::int32_t vertices = 0;
    std::vector<HostMap> maps;
    if (!readMaps(path, vertices, maps, error)) return false;
    if (!hasSurface_ || static_cast<std::size_t>(vertices) != surface_.x.size()) {
        error = "the maps of " + path + " need a current surface (--surface) of " + std::to_string(vertices) +
                " vertices";
        return false;
    }
    maps_ = std::move(maps);
    mapsFileName_ = path;
    return true;
}

bool HostDocuments::describeMaps(HostSmpList& list) {
    if (!hasSurface_ || maps_.empty()) return false;
    std::memset(&list, 0, sizeof list);
    list.nrOfMaps = static_cast<std::int32_t>(maps_.size());
    list.nrOfVertices = static_cast<std::int32_t>(surface_.x.size());
    std::snprintf(list.fileName, sizeof list.fileName, "%s", mapsFileName_.c_str());
    return true;
}

float* HostDocuments::describeMap(int index, HostSmpInfo& info) {
    std::memset(&info, 0, sizeof info);
    if (index < 0 || static_cast<std::size_t>(index) >= maps_.size()) return nullptr;
    HostMap& map = maps_[static_cast<std::size_t>(index)];
    info = map.settings;
    info.name = map.name.data();
    return map.values.data();
}

bool HostDocuments::createMap() {
    if (!hasSurface_) return false;
    HostMap map;
    map.values.assign(surface_.x.size(), 0.0f);
    maps_.push_back(std::move(map));
    mapsChanged_ = true;
    return true;
}

bool HostDocuments::setMapParameters(int index, const HostSmpInfo& info) {
    if (index < 0 || static_cast<std::size_t>(index) >= maps_.size()) return false;
    HostMap& map = maps_[static_cast<std::size_t>(index)];
    map.settings = info;
    map.settings.name = nullptr;
    mapsChanged_ = true;
    return true;
}

bool HostDocuments::loadMapsFile(const std::string& path) {
    std::string error;
    std::int32_t vertices = 0;
    std::vector<HostMap> loaded;
    if (!hasSurface_ || !readMaps(path, vertices, loaded, error) ||
        static_cast<std::size_t>(vertices) != surface_.x.size())
        return false;
    // The file's values go into the surface's last maps, created for them.
    if (loaded.size() > maps_.size()) return false;
    const std::size_t first = maps_.size() - loaded.size();
    for (std::size_t i = 0; i < loaded.size(); ++i) maps_[first + i].values = std::move(loaded[i].values);
    mapsFileName_ = path;
    mapsChanged_ = true;
    return true;
}

std::string HostDocuments::mapsReport() const {
    std::ostringstream report;
    for (std::size_t i = 0; i < maps_.size(); ++i) {
        const HostMap& map = maps_[i];
        const HostSmpInfo& settings = map.settings;
        report << "map " << i + 1 << " \"" << map.name.data() << "\": type " << settings.mapType << ", df "
               << settings.df1 << "/" << settings.df2 << ", imported " << settings.importedFlag << ", values";
        for (std::size_t v = 0; v < std::min<std::size_t>(map.values.size(), 4); ++v) report << " " << map.values[v];
        report << (map.values.size() > 4 ? " ...\n" : "\n");
    }
    return report.str();
}

}  // namespace meshbridge::standin
