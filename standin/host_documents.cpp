#include "standin/host_documents.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/colors.h"

namespace meshbridge::standin {

namespace {

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

std::vector<unsigned char> fileBytes(const std::string& path, bool& opened) {
    std::ifstream in(path, std::ios::binary);
    opened = static_cast<bool>(in);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

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

HostDocuments& HostDocuments::current() {
    static HostDocuments documents;
    return documents;
}

bool HostDocuments::openSurface(const std::string& path, std::string& error) {
    bool opened = false;
    Bytes file(fileBytes(path, opened));
    if (!opened) {
        error = "cannot open " + path;
        return false;
    }
    HostSurface surface;
    float version = 0, color[8];
    std::int32_t reserved = 0, vertices = 0, triangles = 0;
    bool ok = file.get(version) && file.get(reserved) && file.get(vertices) && file.get(triangles) &&
              file.get(surface.center[0]) && file.get(surface.center[1]) && file.get(surface.center[2]);
    ok = ok && file.getArray(surface.x, vertices) && file.getArray(surface.y, vertices) &&
         file.getArray(surface.z, vertices) && file.getArray(surface.normalX, vertices) &&
         file.getArray(surface.normalY, vertices) && file.getArray(surface.normalZ, vertices);
    for (float& c : color) ok = ok && file.get(c);
    ok = ok && file.getArray(surface.colors, vertices);
    for (std::int32_t v = 0; ok && v < vertices; ++v) {
        std::int32_t count = 0;
        ok = file.get(count) && file.skip(4 * static_cast<std::int64_t>(count));
    }
    ok = ok && file.getArray(surface.triangles, 3 * static_cast<std::int64_t>(triangles));
    if (!ok || !(version >= 3.0f && version <= 4.0f)) {
        error = path + " is not an SRF surface file of version 3 to 4";
        return false;
    }
    surface.convex = {color[0], color[1], color[2]};
    surface.concave = {color[4], color[5], color[6]};
    surface.fileName = path;
    surface_ = std::move(surface);
    hasSurface_ = true;
    return true;
}

bool HostDocuments::describeSurface(HostSrfInfo& info) {
    if (!hasSurface_) return false;
    std::memset(&info, 0, sizeof info);
    HostSurface& s = surface_;
    info.nrOfVertices = static_cast<std::int32_t>(s.x.size());
    info.nrOfTriangles = static_cast<std::int32_t>(s.triangles.size() / 3);
    info.vertexX = s.x.data();
    info.vertexY = s.y.data();
    info.vertexZ = s.z.data();
    info.normalX = s.normalX.data();
    info.normalY = s.normalY.data();
    info.normalZ = s.normalZ.data();
    info.colors = s.colors.data();
    info.convexRed = s.convex[0];
    info.convexGreen = s.convex[1];
    info.convexBlue = s.convex[2];
    info.concaveRed = s.concave[0];
    info.concaveGreen = s.concave[1];
    info.concaveBlue = s.concave[2];
    info.meshCenterX = s.center[0];
    info.meshCenterY = s.center[1];
    info.meshCenterZ = s.center[2];
    info.triangles = s.triangles.data();
    info.fileName = s.fileName.c_str();
    return true;
}

}  // namespace meshbridge::standin

namespace meshbridge::standin {

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

namespace meshbridge::standin {

namespace {

// An MTC file as the host reads it: version up to 1, values volume after volume.
bool readTimeCourse(const std::string& path, std::size_t vertices, HostTimeCourse& course, std::string& error) {
    bool opened = false;
    Bytes file(fileBytes(path, opened));
    std::int32_t version = 0, fileVertices = 0, volumes = 0, hrf = 0, segmentSize = 0, segmentOffset = 0;
    float tr = 0, delta = 0, tau = 0;
    std::int8_t flag = 0;
    std::string vtc, prt;
    const bool ok = opened && file.get(version) && version <= 1 && file.get(fileVertices) && file.get(volumes) &&
                    fileVertices >= 0 && volumes >= 0 && file.text(vtc) && file.text(prt) && file.get(hrf) &&
                    file.get(tr) && file.get(delta) && file.get(tau) && file.get(segmentSize) &&
                    file.get(segmentOffset) && file.get(flag);
    std::vector<float> values;
    if (!ok || !file.getArray(values, static_cast<std::int64_t>(fileVertices) * volumes)) {
        error = path + " is not an MTC file of version 1";
        return false;
    }
    if (static_cast<std::size_t>(fileVertices) != vertices) {
        error = "the time course of " + path + " needs a current surface (--surface) of " +
                std::to_string(fileVertices) + " vertices";
        return false;
    }
    course = HostTimeCourse{};
    course.courses.assign(vertices, std::vector<float>(static_cast<std::size_t>(volumes)));
    for (std::size_t t = 0; t < static_cast<std::size_t>(volumes); ++t)
        for (std::size_t v = 0; v < vertices; ++v) course.courses[v][t] = values[t * vertices + v];
    course.info.nrOfVolumes = volumes;
    course.info.nrOfVertices = fileVertices;
    course.info.headerFlag = flag;
    course.info.tr = static_cast<std::int32_t>(tr);
    std::snprintf(course.info.mtcFileName, sizeof course.info.mtcFileName, "%s", path.c_str());
    std::snprintf(course.info.vtcFileName, sizeof course.info.vtcFileName, "%s", vtc.c_str());
    std::snprintf(course.info.prtFileName, sizeof course.info.prtFileName, "%s", prt.c_str());
    return true;
}

static_assert(std::endian::native == std::endian::little, "the host writes its files in the machine's byte order");

void littleEndian(std::string& out, const void* value, std::size_t size) {
    out.append(static_cast<const char*>(value), size);
}

}  // namespace

bool HostDocuments::openTimeCourse(const std::string& path, std::string& error) {
    if (!hasSurface_) {
        error = "a time course needs a current surface (--surface)";
        return false;
    }
    if (!readTimeCourse(path, surface_.x.size(), timeCourse_, error)) return false;
    hasTimeCourse_ = true;
    return true;
}

bool HostDocuments::createTimeCourse(int volumes) {
    if (!hasSurface_ || volumes < 0) return false;
    timeCourse_ = HostTimeCourse{};
    timeCourse_.courses.assign(surface_.x.size(), std::vector<float>(static_cast<std::size_t>(volumes), 0.0f));
    timeCourse_.info.nrOfVolumes = volumes;
    timeCourse_.info.nrOfVertices = static_cast<std::int32_t>(surface_.x.size());
    hasTimeCourse_ = true;
    timeCourseChanged_ = true;
    return true;
}

float** HostDocuments::describeTimeCourse(HostMtcInfo& info) {
    if (!hasTimeCourse_) return nullptr;
    info = timeCourse_.info;
    timeCourse_.pointers.clear();
    for (auto& course : timeCourse_.courses) timeCourse_.pointers.push_back(course.data());
    return timeCourse_.pointers.data();
}

bool HostDocuments::setTimeCourseParameters(const HostMtcInfo& info) {
    if (!hasTimeCourse_) return false;
    timeCourse_.info = info;
    timeCourseChanged_ = true;
    return true;
}

bool HostDocuments::saveTimeCourse(const std::string& path) {
    if (!hasTimeCourse_) return false;
    const HostMtcInfo& info = timeCourse_.info;
    const std::size_t vertices = timeCourse_.courses.size();
    const std::size_t volumes = static_cast<std::size_t>(std::max(info.nrOfVolumes, 0));
    std::string bytes;
    const std::int32_t version = 1, nrOfVertices = static_cast<std::int32_t>(vertices), hrf = 0, zero = 0;
    const float tr = static_cast<float>(info.tr), none = 0.0f;
    const std::int8_t flag = static_cast<std::int8_t>(info.headerFlag);
    littleEndian(bytes, &version, 4);
    littleEndian(bytes, &nrOfVertices, 4);
    littleEndian(bytes, &info.nrOfVolumes, 4);
    bytes.append(info.vtcFileName, strnlen(info.vtcFileName, sizeof info.vtcFileName)).push_back('\0');
    bytes.append(info.prtFileName, strnlen(info.prtFileName, sizeof info.prtFileName)).push_back('\0');
    littleEndian(bytes, &hrf, 4);
    littleEndian(bytes, &tr, 4);
    littleEndian(bytes, &none, 4);
    littleEndian(bytes, &none, 4);
    littleEndian(bytes, &zero, 4);
    littleEndian(bytes, &zero, 4);
    littleEndian(bytes, &flag, 1);
    for (std::size_t t = 0; t < volumes; ++t)
        for (std::size_t v = 0; v < vertices; ++v) littleEndian(bytes, &timeCourse_.courses[v][t], 4);
    // Written beside the target and renamed over it once complete.
    const std::string temporary = path + ".saving";
    {
        std::ofstream out(temporary, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, path, renamed);
    if (renamed) {
        std::remove(temporary.c_str());
        return false;
    }
    timeCourse_.savedAs = path;
    timeCourseChanged_ = true;
    return true;
}

bool HostDocuments::linkTimeCourse(const std::string& path) {
    HostTimeCourse linked;
    std::string error;
    if (!hasSurface_ || !readTimeCourse(path, surface_.x.size(), linked, error)) return false;
    linked.savedAs = timeCourse_.savedAs;
    linked.linkedTo = path;
    timeCourse_ = std::move(linked);
    hasTimeCourse_ = true;
    timeCourseChanged_ = true;
    return true;
}

std::string HostDocuments::timeCourseReport() const {
    if (!hasTimeCourse_) return {};
    std::ostringstream report;
    const HostMtcInfo& info = timeCourse_.info;
    report << "time course: " << info.nrOfVolumes << " volumes on " << timeCourse_.courses.size() << " vertices, TR "
           << info.tr << " ms, header flag " << info.headerFlag << ", imported " << info.importedFlag << "\n";
    if (!timeCourse_.savedAs.empty()) report << "time course saved as " << timeCourse_.savedAs << "\n";
    if (!timeCourse_.linkedTo.empty()) report << "time course linked to " << timeCourse_.linkedTo << "\n";
    for (std::size_t v = 0; v < std::min<std::size_t>(timeCourse_.courses.size(), 3); ++v) {
        report << "course of vertex " << v << ":";
        for (std::size_t t = 0; t < std::min<std::size_t>(timeCourse_.courses[v].size(), 4); ++t)
            report << " " << timeCourse_.courses[v][t];
        report << (timeCourse_.courses[v].size() > 4 ? " ...\n" : "\n");
    }
    return report.str();
}

}  // namespace meshbridge::standin

namespace meshbridge::standin {

namespace {

// A POI file as the host reads it: keys and values, line by line.
bool readPatches(const std::string& path, std::vector<HostPatch>& patches, std::int32_t& timeCourses, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    auto valueOf = [](const std::string& line) {
        const std::size_t colon = line.find(':');
        std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        return value;
    };
    auto quoted = [](const std::string& value) {
        return value.size() >= 2 && value.front() == '"' ? value.substr(1, value.size() - 2) : value;
    };
    patches.clear();
    timeCourses = 0;
    std::string line;
    HostPatch* patch = nullptr;
    int pending = 0;  // vertex lines still to come for the current patch
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (pending > 0 && patch) {
            patch->vertices.push_back(std::atoi(line.c_str()));
            --pending;
            continue;
        }
        const std::string key = line.substr(0, line.find(':'));
        const std::string value = valueOf(line);
        if (key == "NameOfPOI") {
            patches.emplace_back();
            patch = &patches.back();
            std::snprintf(patch->info.name, sizeof patch->info.name, "%s", quoted(value).c_str());
        } else if (patch && key == "InfoTextFile") {
            std::snprintf(patch->info.infoTextFile, sizeof patch->info.infoTextFile, "%s", quoted(value).c_str());
        } else if (patch && key == "ColorOfPOI") {
            int red = 0, green = 0, blue = 0;
            std::sscanf(value.c_str(), "%d %d %d", &red, &green, &blue);
            patch->info.color = meshbridge::packedRgb(std::clamp(red, 0, 255), std::clamp(green, 0, 255),
                                                      std::clamp(blue, 0, 255));
        } else if (patch && key == "LabelVertex") {
            patch->info.labelVertex = std::atoi(value.c_str());
        } else if (patch && key == "NrOfVertices") {
            pending = std::max(0, std::atoi(value.c_str()));
            patch->info.nrOfVertices = pending;
        } else if (key == "NrOfPOIMTCs") {
            timeCourses = std::atoi(value.c_str());
        }
    }
    if (pending > 0) {
        error = path + " ends inside a patch";
        return false;
    }
    return true;
}

}  // namespace

bool HostDocuments::openPatches(const std::string& path, std::string& error) {
    if (!readPatches(path, patches_, patchTimeCourses_, error)) return false;
    patchesFileName_ = path;
    return true;
}

bool HostDocuments::describePatches(HostPoiList& list) {
    std::memset(&list, 0, sizeof list);
    list.nrOfPOIs = static_cast<std::int32_t>(patches_.size());
    list.nrOfPOIMTCs = patchTimeCourses_;
    std::snprintf(list.fileName, sizeof list.fileName, "%s", patchesFileName_.c_str());
    return true;
}

std::int32_t* HostDocuments::describePatch(int index, HostPoiInfo& info) {
    std::memset(&info, 0, sizeof info);
    if (index < 0 || static_cast<std::size_t>(index) >= patches_.size()) return nullptr;
    HostPatch& patch = patches_[static_cast<std::size_t>(index)];
    info = patch.info;
    return patch.vertices.data();
}

bool HostDocuments::loadPatchesFile(const std::string& path) {
    std::string error;
    if (!hasSurface_ || !readPatches(path, patches_, patchTimeCourses_, error)) return false;
    patchesFileName_ = path;
    patchesChanged_ = true;
    return true;
}

std::string HostDocuments::patchesReport() const {
    std::ostringstream report;
    report << patches_.size() << " patches from " << patchesFileName_ << "\n";
    for (std::size_t i = 0; i < patches_.size(); ++i) {
        const HostPatch& patch = patches_[i];
        report << "patch " << i + 1 << " \"" << patch.info.name << "\": colour " << patch.info.color << ", label vertex "
               << patch.info.labelVertex << ", vertices";
        for (std::size_t k = 0; k < std::min<std::size_t>(patch.vertices.size(), 6); ++k) report << " " << patch.vertices[k];
        report << (patch.vertices.size() > 6 ? " ...\n" : "\n");
    }
    return report.str();
}

}  // namespace meshbridge::standin
