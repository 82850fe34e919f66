#pragma once
// What the map tools and the map lifecycle see of the main window: the
// status panels, the progress bar, the busy cursor and the map picture.

#include <QRect>
#include <QString>
#include <Qt>

namespace dm {

template <typename P> int pointX(const P& p) {
    if constexpr (requires { p.PX; }) return p.PX;
    else return p.x();
}
template <typename P> int pointY(const P& p) {
    if constexpr (requires { p.PY; }) return p.PY;
    else return p.y();
}

class MapSurface {
public:
    virtual ~MapSurface() = default;
    virtual void setPanelText(int panel, const QString& text) = 0;
    virtual QString panelText(int panel) const = 0;
    // Panel 3 as a progress bar showing `percent`; painted at once.
    virtual void showProgress(int percent) = 0;
    // Panel 3 back to text.
    virtual void endProgress() = 0;
    // The hourglass cursor on or off (nested calls count).
    virtual void setBusy(bool busy) = 0;
    // The map image changed (its size may have too); repaint it.
    virtual void imageChanged() = 0;
    virtual void scrollToTopLeft() = 0;
    // Width in pixels of the screen the map image is fitted to.
    virtual int screenWidth() const = 0;
    virtual void setCaption(const QString& caption) = 0;
    // Scrolls the view of the map image by (dx, dy) pixels.
    virtual void scrollBy(int dx, int dy) = 0;
    // The mouse cursor over the map image.
    virtual void setImageCursor(Qt::CursorShape shape) = 0;
    // The map picture was redrawn without labels: "Названия карты" goes
    // off and the tool buttons follow the cleared modes.
    virtual void mapRedrawn() = 0;
    // Scrolls the picture so that this part of it (picture pixels) is in the
    // window (its middle when it is larger); nothing moves when it is.
    virtual void showPicturePart(const QRect& part) { (void)part; }
    // The same for the box around these picture pixels.
    template <typename Points> void showPicturePoints(const Points& pts) {
        QRect box;
        for (const auto& p : pts) box |= QRect(pointX(p), pointY(p), 1, 1);
        showPicturePart(box);
    }
};

// Keeps the hourglass cursor up for a scope and ends the progress bar.
class BusyScope {
public:
    explicit BusyScope(MapSurface* s) : s_(s) { s_->setBusy(true); }
    ~BusyScope() {
        s_->endProgress();
        s_->setBusy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    MapSurface* s_;
};

}  // namespace dm
