// Writes ISO-BMFF files made with the unit tests' box builder: the container fuzzer's seeds and
// the generated half of the container comparison with exiftool. Each file carries a date of its
// own, so that a mix-up between files shows.
//
//   make_container_seeds FOLDER

#include "box_builder.h"

#include <cstdio>
#include <string>

using namespace shotstamp::testing;

namespace {

bool write(const std::string& folder, const std::string& name, const Bytes& bytes) {
    const std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Bytes heif(std::string_view brand, bool motorola, int method, std::string_view date) {
    HeifOptions o;
    o.brand = std::string(brand);
    o.items = {{3, "mime", "application/rdf+xml", bytesOf("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>"),
                method},
               {5, "Exif", "", exifItem(exifTiff(motorola, date, "25")), method}};
    return heifFile(o);
}

Bytes video(std::string_view brand, const MovieDates& dates) {
    return concat({ftyp(brand, brand), box("mdat", Bytes(256, 0)), movieBox(dates)});
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_container_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    // Seconds since 1904: 2021-03-04 05:06:07 UTC.
    constexpr std::uint64_t kSeconds = 3697765567ULL;
    const bool ok =
        write(folder, "intel.heic", heif("heic", false, 0, "2021:01:02 03:04:05")) &&
        write(folder, "motorola.heic", heif("heic", true, 0, "2021:01:02 03:04:06")) &&
        write(folder, "item_data.heic", heif("heic", true, 1, "2021:01:02 03:04:07")) &&
        write(folder, "intel.avif", heif("avif", false, 0, "2021:01:02 03:04:08")) &&
        write(folder, "intel.cr3", cr3File(false, "2021:01:02 03:04:09")) &&
        write(folder, "motorola.cr3", cr3File(true, "2021:01:02 03:04:10")) &&
        write(folder, "keys.mov", video("qt  ", {kSeconds, 0, "2021-03-04T14:06:07+0900", ""})) &&
        write(folder, "user_data.mp4",
              video("mp42", {kSeconds, 0, "", "2021-03-04T04:36:07-00:30"})) &&
        write(folder, "header.mp4", video("isom", {kSeconds, 0, "", ""})) &&
        write(folder, "header_v1.3gp", video("3gp5", {kSeconds + 1, 1, "", ""}));
    if (!ok) {
        std::fprintf(stderr, "make_container_seeds: cannot write to %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
