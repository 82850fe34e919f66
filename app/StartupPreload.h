#pragma once
// The city map read and drawn on threads of its own while the splash shows:
// the objects, their index and the opening picture, made exactly as opening
// the map makes them.  Opening the city map then takes them over when the
// files, the view and the drawing settings are still the ones they were
// made for; otherwise (or when reading failed) it opens the map as always,
// and a damaged file gives its message there.
#include "classifier/Znak.h"
#include "display/MapView.h"
#include "mapdata/MapFiles.h"
#include "mapdata/ObjectIndex.h"

#include <QImage>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

namespace dm {

struct RenderContext;

struct PreloadedMap {
    std::filesystem::path orPath;  // as opening resolves it
    OrientationRecord orient;
    MapView view;
    bool withSymbols = false;  // the classifier's symbols were read
    TObjList objects;
    ObjectIndex index;  // built over `objects` (declared after them: it goes first)
    uint64_t objectsPrint = 0;  // ObjectsFingerprint(objects), printed as they were read
    QImage image;
    // How the picture was drawn: objects drawn by the drawing thread, and
    // those of the end of the list drawn on the picture laid over (each
    // object once in all).
    size_t drawnInTurn = 0, drawnOver = 0;
};

class StartupPreload {
public:
    StartupPreload() = default;
    StartupPreload(const StartupPreload&) = delete;
    StartupPreload& operator=(const StartupPreload&) = delete;
    ~StartupPreload();

    // Starts reading `startDir`/`city`/`city`.or for a screen of that width.
    void start(const std::filesystem::path& startDir, const std::string& city, int screenWidth);
    bool running() const { return started_ && !done_; }
    // Waits for the thread to end.
    void finish();
    // Told, from the thread, when the map was read, indexed and drawn (the
    // start-up benchmark's phases); set before start().
    std::function<void(const char*)> trace;
    // Once the objects are read and indexed, this thread draws the end of
    // the list the drawing thread has not reached (about half of it) on a
    // picture of its own, when that end holds at least `smallestSplit`
    // objects.  With `drawerWaits` (tests) the drawing
    // thread starts only then, so that the list is split in two halves.
    size_t smallestSplit = 2048;
    bool drawerWaits = false;
    // The map made for this file, view and drawing settings (the thread
    // ended); null when it failed or was made for anything else.  Taken once.
    std::unique_ptr<PreloadedMap> take(const std::filesystem::path& orPath, const MapView& view,
                                       const RenderContext& ctx);

private:
    struct Stamp {
        std::filesystem::path path;
        uintmax_t size = 0;
        std::filesystem::file_time_type time;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp stampOf(const std::filesystem::path& p);
    void run(std::filesystem::path startDir, std::string city, int screenWidth);

    void say(const char* what) const {
        if (trace) trace(what);
    }

    std::thread thread_;
    bool started_ = false;
    std::atomic<bool> done_{false};
    std::unique_ptr<PreloadedMap> map_;
    std::vector<Stamp> stamps_;  // the files read, as they were before reading
    ZnakSet znaks_;
};

}  // namespace dm
