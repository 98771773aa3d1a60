// Builds small zip archives for the tests with libzip, including entries no honest archiver
// would write (unsafe names, links).
#pragma once

#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace testzip {

struct Entry {
    std::string name;
    std::string content;
    bool folder = false;
    bool link = false;   // a Unix symlink entry whose content is the link target
    bool store = false;  // no compression (lets a test damage the data in place)
};

inline void Write(const std::filesystem::path& path, const std::vector<Entry>& entries) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) throw std::runtime_error("zip_open failed");
    for (const auto& entry : entries) {
        zip_int64_t index = -1;
        if (entry.folder) {
            index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            zip_source_t* source =
                zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
            index = zip_file_add(archive, entry.name.c_str(), source,
                                 ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
            if (index < 0) {
                zip_source_free(source);
                throw std::runtime_error("cannot add " + entry.name + ": " + zip_strerror(archive));
            }
        }
        if (index < 0) throw std::runtime_error("cannot add " + entry.name);
        const auto i = static_cast<zip_uint64_t>(index);
        if (entry.store) zip_set_file_compression(archive, i, ZIP_CM_STORE, 0);
        if (entry.link) {
            zip_file_set_external_attributes(archive, i, 0, ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
        }
    }
    if (zip_close(archive) != 0) throw std::runtime_error("zip_close failed");
}

}  // namespace testzip
