#pragma once
// "Как проехать": two clicks on the map (row 1 of the mouse dispatch), the
// road network loaded on first use, the route drawn and reported.

#include "RoadNetwork.h"

#include "editing/MapEditor.h"
#include "editing/Workspace.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace dm {

class RouteTool {
public:
    RouteTool(Workspace& ws, MapEditor& editor);

    void ItenererButtonClick();
    // Draws and reports the route between two map points.
    void ShowRoute(RoutePoint p1, RoutePoint p2);
    // The route between two map points, as two clicks on them give it (the
    // network loaded first when it is not).
    void RouteBetween(double x1, double y1, double x2, double y2);

    // The route window: lines 1 to 3 of its memo.
    std::function<void(const QStringList& lines)> showInfo;
    std::function<void()> buttonsChanged;

    const RoadNetwork* network() const { return net_ ? &*net_ : nullptr; }
    const RouteResult& lastRoute() const { return last_; }
    // The last route found, from its start through its nodes to its end
    // (map points); empty when the last search found none.
    std::vector<TXY> lastRouteLine() const;

private:
    Flow click(const MouseClick& c);
    bool ensureNetwork();

    Workspace& ws_;
    std::optional<RoadNetwork> net_;
    std::optional<RouteGraph> graph_;  // net_ made ready for the searches
    RoutePoint points_[2];
    RouteResult last_;
    RoutePoint lastEnds_[2];
};

}  // namespace dm
