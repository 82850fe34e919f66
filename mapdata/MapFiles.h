#pragma once
// The two files of a map: the orientation file (".or", one 48-byte record
// with the extent, coordinate kind and next node number) and the object
// file (".bin", object records from the first byte to the end).

#include "BinaryIO.h"
#include "MapObjects.h"

#include <array>
#include <filesystem>
#include <functional>

namespace dm {

struct OrientationRecord {
    double XMax = 0;
    double XMin = 0;
    double YMax = 0;
    double YMin = 0;
    double AxialMeridian = 0;
    uint8_t CoordKind = 1;                  // 1 plane metres, 2 geographic radians
    std::array<uint8_t, 3> Padding{0, 0, 0};  // kept as read
    int32_t NextNode = 0;
};
constexpr size_t kOrientationSize = 48;

// Reads the first record.  A file shorter than one record or with a
// coordinate kind other than 1 or 2 is refused with FileError.
OrientationRecord ReadOrientation(const std::filesystem::path& path);
// Writes the record (atomically).
void WriteOrientation(const std::filesystem::path& path, const OrientationRecord& r, FileBatch* batch = nullptr);
OrientationRecord DecodeOrientation(BinReader& in);
void EncodeOrientation(BinWriter& out, const OrientationRecord& r);

// Reports a progress figure in per cent; called once for each new value
// that is a multiple of 10 (0 included).  May be empty.
using ProgressFn = std::function<void(int percent)>;
// Called for each object right after it was appended (to draw it).
using LoadedObjectFn = std::function<void(TObj& obj)>;

// Loads the object file into `list` (cleared first).  The progress figure is
// k / (file size div 200) x 100 for the k-th record.  A missing file throws
// FileError "Файл <path> не существует" with the list untouched; a damaged
// file throws FileError naming the file and offset, and the list keeps the
// objects read before the damaged record.
void LoadObjects(const std::filesystem::path& path, TObjList& list, const ProgressFn& progress = {},
                 const LoadedObjectFn& onObject = {});
// Same from an already opened reader (used by tests on memory).
void LoadObjects(BinReader& in, TObjList& list, const ProgressFn& progress = {},
                 const LoadedObjectFn& onObject = {});

// Saves the objects in list order, skipping objects without vertices; the
// progress figure is k / max(count - 1, 1) x 100.  Written through a
// temporary file: on failure the old file is intact and FileError says why.
// With a batch the file is finished and takes its name with the batch.
void SaveObjects(const std::filesystem::path& path, const TObjList& list, const ProgressFn& progress = {},
                 FileBatch* batch = nullptr);
// Appends one object record.
void EncodeObject(BinWriter& out, const TObj& o);

}  // namespace dm
