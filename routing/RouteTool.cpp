#include "RouteTool.h"

#include <QPainter>

namespace dm {

RouteTool::RouteTool(Workspace& ws, MapEditor& editor) : ws_(ws) {
    editor.dispatch().attach(1, [this](const MouseClick& c) { return click(c); });
}

void RouteTool::ItenererButtonClick() {
    ws_.modes.RouteMode = true;
    ws_.modes.ClickCount = 0;
    ws_.modes.DistanceSum = 0;
    ws_.surface->setPanelText(4, QString());
    if (buttonsChanged) buttonsChanged();
}

bool RouteTool::ensureNetwork() {
    if (net_ && graph_) return true;
    const auto path = ws_.files.StartDir / "njoints.uzl";
    try {
        net_ = LoadRoadNetwork(path);
        graph_.emplace(*net_);
    } catch (const std::exception& e) {
        // The program goes on; the next route tries the file again.
        graph_.reset();
        net_.reset();
        ws_.dialogs->error(QStringLiteral("Дорожная сеть не загружена.\n") + QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

Flow RouteTool::click(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    if (!(ws_.view.view().Scale > 0) || ws_.view.image.isNull()) return Flow::Done;  // no map open
    ++m.ClickCount;
    const TXY p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    if (m.ClickCount <= 2) points_[m.ClickCount - 1] = RouteEndPoint(p.X, p.Y);
    {
        QPainter painter(&ws_.view.image);
        painter.setPen(QPen(QColor(255, 255, 0), 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(c.pos.x() - 4, c.pos.y() - 4, 7, 7));
    }
    ws_.surface->imageChanged();
    if (m.ClickCount >= 2) {
        m.RouteMode = false;
        m.ClickCount = 0;
        if (ensureNetwork()) ShowRoute(points_[0], points_[1]);
        if (buttonsChanged) buttonsChanged();
    }
    ws_.surface->setPanelText(4, QString());
    return Flow::Done;
}

void RouteTool::RouteBetween(double x1, double y1, double x2, double y2) {
    if (ensureNetwork()) ShowRoute(RouteEndPoint(x1, y1), RouteEndPoint(x2, y2));
}

std::vector<TXY> RouteTool::lastRouteLine() const {
    if (last_.status != RouteResult::Found || !net_) return {};
    std::vector<TXY> line{{lastEnds_[0].X, lastEnds_[0].Y}};
    for (int id : last_.path) line.push_back({net_->RoadNodes[size_t(id)].X, net_->RoadNodes[size_t(id)].Y});
    line.push_back({lastEnds_[1].X, lastEnds_[1].Y});
    return line;
}

void RouteTool::ShowRoute(RoutePoint p1, RoutePoint p2) {
    if (!net_ || !graph_) return;
    last_ = RouteTime(*graph_, p1, p2);
    lastEnds_[0] = p1;
    lastEnds_[1] = p2;
    if (last_.status != RouteResult::Found) {
        if (showInfo) showInfo({QString::fromStdString(NoRouteText(last_)), QString(), QString()});
        return;
    }
    const RouteReport rep = ReportRoute(*net_, p1, p2, last_);
    const MapView& v = ws_.view.view();
    auto px = [&v](double x, double y) {
        const TGn g = v.toPixel({x, y});
        return QPoint(g.PX, g.PY);
    };
    std::vector<QPoint> line{px(p1.X, p1.Y)};
    for (int id : last_.path) line.push_back(px(net_->RoadNodes[size_t(id)].X, net_->RoadNodes[size_t(id)].Y));
    line.push_back(px(p2.X, p2.Y));
    {
        QPainter painter(&ws_.view.image);
        painter.setPen(QPen(QColor(255, 255, 0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line.data(), int(line.size()));
        painter.setPen(QPen(QColor(255, 0, 0), 0));
        painter.drawPolyline(line.data(), int(line.size()));
    }
    ws_.surface->imageChanged();
    if (showInfo)
        showInfo({QString::fromStdString(rep.lines[0]), QString::fromStdString(rep.lines[1]),
                  QString::fromStdString(rep.lines[2])});
}

}  // namespace dm
