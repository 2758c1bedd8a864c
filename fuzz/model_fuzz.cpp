// A whole model: the input is an archive of the model file followed by any
// number of further files (object files, textures, the animation "an.txt"),
// each introduced by a line "%%file NAME". The model is loaded with one
// texture and then with the object files' own textures; each load that
// succeeds is animated and drawn.

#include <cstring>

#include "files/texture.h"
#include "fuzz/fuzz_support.h"

namespace {

const char FILE_MARK[] = "\n%%file ";

// The archive's files: "mdt.txt" first, then the named ones in order.
std::vector<FuzzFile> split_archive(const std::string& archive) {
    const size_t mark_length = std::strlen(FILE_MARK);
    std::vector<FuzzFile> files;
    std::string name = "mdt.txt";
    size_t at = 0;
    for (;;) {
        const size_t mark = archive.find(FILE_MARK, at);
        const size_t length = mark == std::string::npos ? mark : mark - at;
        files.push_back(FuzzFile{name, archive.substr(at, length)});
        if (mark == std::string::npos) return files;
        const size_t name_start = mark + mark_length;
        size_t name_end = archive.find('\n', name_start);
        if (name_end == std::string::npos) name_end = archive.size();
        name = archive.substr(name_start, name_end - name_start);
        at = name_end < archive.size() ? name_end + 1 : name_end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<FuzzFile> files = split_archive(fuzz_bytes(data, size));
    fuzz_start_scene();
    fuzz_serve(files);
    const int32_t texture = tex_create("texture", 1, 1);
    FUZZ_CHECK(texture == 0);
    fuzz_load_and_draw("mdt.txt", texture);
    fuzz_load_and_draw("mdt.txt", -1);
    fuzz_stop_scene();
    return 0;
}
