// Writes the seed corpus of each fuzz target with our own frame and file
// writers: make_seeds <corpus folder>.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "protocol/StreamMaker.h"
#include "store/VRAXSensorData.h"

namespace fs = std::filesystem;

namespace {

void write(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void fillStore(VRAXSensorData& store, std::mt19937& rng, int records) {
    for (int i = 0; i < records; ++i) {
        int32_t v[14];
        for (auto& x : v) x = int32_t(rng() % 20000) - 10000;
        const int type = int(rng() % 7);
        if (type == 6)
            for (int g = 0; g < 4; ++g) v[g] = int32_t(rng() % 16);
        store.appendSensorData(uint64_t(i) * 10, type, v);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    std::mt19937 rng(1);

    fs::create_directories(root / "parser");
    for (int i = 0; i < 8; ++i) {
        StreamMix mix;
        mix.measurementsOnly = i % 2 == 0;
        std::vector<uint8_t> bytes = {uint8_t(i * 37), uint8_t(i * 11)};  // piece-size choice
        auto stream = makeStream(rng, 10 + size_t(i) * 10, mix);
        bytes.insert(bytes.end(), stream.begin(), stream.end());
        write(root / "parser" / ("seed" + std::to_string(i)), bytes);
    }

    const fs::path tmp = fs::temp_directory_path() / "vrax-seeds";
    fs::create_directories(tmp);
    fs::create_directories(root / "csv_loader");
    fs::create_directories(root / "bin_loader");
    for (int i = 0; i < 4; ++i) {
        VRAXSensorData store;
        fillStore(store, rng, 5 + i * 5);
        const fs::path base = tmp / ("s" + std::to_string(i));
        store.saveToFileByCSV(base.string(), 0, i % 3);
        write(root / "csv_loader" / ("seed" + std::to_string(i)), readFile(base.string() + ".csv"));
        store.saveToFileByBin(base.string());
        write(root / "bin_loader" / ("seed" + std::to_string(i)), readFile(base.string() + ".bin"));
    }
    // Streamed download files: "ead" heads, with and without filtered values.
    for (int filtered = 0; filtered < 2; ++filtered) {
        VRAXSensorData store;
        const fs::path file = tmp / "stream.csv";
        store.setWriteAD16FilterdData(filtered == 1);
        store.setSaveFilename(file.string());
        store.setSaveFlag();
        fillStore(store, rng, 150);
        store.finishSaveFile(true, safeout::Existing::replace);
        write(root / "csv_loader" / ("stream" + std::to_string(filtered)), readFile(file));
    }

    auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    fs::create_directories(root / "sepcsv");
    const char* lines[] = {"ags,1000,1,-2,3,4,5,6", "a,\"b,c\",d", "\"x\",\"y,z", "\"open,run"};
    for (int i = 0; i < 4; ++i)
        write(root / "sepcsv" / ("seed" + std::to_string(i)), text(lines[i]));
    fs::create_directories(root / "parse_first_line");
    const char* texts[] = {"a\r\nb\nc", "one\r\n", "\r\r\n\n", "tail\r"};
    for (int i = 0; i < 4; ++i)
        write(root / "parse_first_line" / ("seed" + std::to_string(i)), text(texts[i]));
    fs::remove_all(tmp);
    return 0;
}
