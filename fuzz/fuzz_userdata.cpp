// User areas (".dat") and the user table (text).
#include "FuzzCommon.h"
#include "userdata/UserAreas.h"
#include "userdata/UserTable.h"

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && (data[0] & 1)) {
        fuzz::roundTrip<UserTable>(
            data + 1, size - 1,
            [](const uint8_t* d, size_t n, UserTable& t) { LoadUserTable(fuzz::writeInput("in.txt", d, n), t); },
            [](const UserTable& t) {
                return fuzz::savedBytes("out.txt", [&](const auto& p) { SaveUserTable(p, t); });
            });
        return 0;
    }
    fuzz::roundTrip<std::vector<AreaRef>>(
        data, size,
        [](const uint8_t* d, size_t n, std::vector<AreaRef>& out) {
            BinReader in(d, n, "areas.dat");
            LoadUserAreas(in, out);
        },
        [](const std::vector<AreaRef>& a) {
            return fuzz::savedBytes("areas.dat", [&](const auto& p) { SaveUserAreas(p, a); });
        });
    return 0;
}
