#pragma once
// The state of the program, owned by the main window and handed to the code
// that needs it: the open map and its files, the map picture, the
// classifier and the interaction modes.

#include "classifier/ClassifierState.h"
#include "display/DialogPort.h"
#include "display/MapSurface.h"
#include "display/ViewState.h"
#include "editing/Modes.h"
#include "mapdata/MapDoc.h"

#include <QString>

#include <filesystem>

namespace dm {

// The open map's files and the change flags of its companions.
struct OpenMapState {
    std::filesystem::path StartDir;        // folder of the classifier and of the city folder
    std::string CityFolderName = "Darvent";
    QString CityDisplayName = QString::fromUtf8("г.Дарвент");
    std::filesystem::path MapFileName;     // its extension varies with the last use
    std::filesystem::path NamesFileName;
    std::filesystem::path StreetsFileName;
    bool NamesModified = false;
    bool StreetsModified = false;
    // The orientation kind as read by "Открыть", kept for the district maps.
    double OpenedAxialMeridian = 0;
    uint8_t OpenedCoordKind = 1;
    // The folder the file dialogs of the maps start in once one was used
    // (remembered between runs); empty: the map's folder.
    std::filesystem::path LastDialogFolder;
};

struct Workspace {
    OpenMapState files;
    MapDoc map;
    ViewState view;
    ClassifierState classifier;
    InteractionState modes;
    DialogPort* dialogs = nullptr;
    MapSurface* surface = nullptr;
};

}  // namespace dm
