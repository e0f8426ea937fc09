// The time course of the host's current surface.
#include "standin/host_documents.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "standin/file_bytes.h"

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
