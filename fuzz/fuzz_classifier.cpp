// Symbol file (".ris"), RTF and plain lists (".smn"), layer files.
#include "FuzzCommon.h"
#include "classifier/Znak.h"
#include "display/Layers.h"
#include "mapdata/Rtf.h"

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t kind = data[0] % 4;
    ++data;
    --size;
    switch (kind) {
        case 0:
            fuzz::roundTrip<std::vector<TZnak>>(
                data, size,
                [](const uint8_t* d, size_t n, std::vector<TZnak>& out) { out = ReadZnakFile(fuzz::writeInput("in.ris", d, n)); },
                [](const std::vector<TZnak>& z) {
                    return fuzz::savedBytes("out.ris", [&](const auto& p) { WriteZnakFile(p, z); });
                });
            break;
        case 1:
            fuzz::roundTrip<std::vector<std::string>>(
                data, size,
                [](const uint8_t* d, size_t n, std::vector<std::string>& out) {
                    out = ReadListText(std::string_view(reinterpret_cast<const char*>(d), n));
                },
                [](const std::vector<std::string>& lines) {
                    const std::string s = WriteRtf(lines);
                    return std::vector<uint8_t>(s.begin(), s.end());
                });
            break;
        case 2:
            fuzz::roundTrip<std::vector<int>>(
                data, size,
                [](const uint8_t* d, size_t n, std::vector<int>& out) { out = ReadLayerCodes(fuzz::writeInput("in.sl", d, n)); },
                [](const std::vector<int>& codes) {
                    return fuzz::savedBytes("out.sl", [&](const auto& p) { WriteLayerCodes(p, codes); });
                });
            break;
        default: {
            // The layer list "Sloys.rtf" of a start folder.
            const auto dir = fuzz::workDir() / "layers";
            std::filesystem::create_directories(dir);
            fuzz::roundTrip<std::vector<std::string>>(
                data, size,
                [&dir](const uint8_t* d, size_t n, std::vector<std::string>& out) {
                    std::ofstream(dir / "Sloys.rtf", std::ios::binary | std::ios::trunc)
                        .write(reinterpret_cast<const char*>(d), std::streamsize(n));
                    out = LoadLayerList(dir);
                },
                [&dir](const std::vector<std::string>& names) {
                    SaveLayerList(dir, names);
                    return readWholeFile(dir / "Sloys.rtf");
                });
            break;
        }
    }
    return 0;
}
