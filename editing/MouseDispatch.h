#pragma once
// The one dispatch of mouse presses on the map image.  The rows are tested
// in order; the first row whose condition holds handles the press, and
// testing goes on only when its action says so.  Each subsystem attaches
// the actions of its rows; a row without an action takes the press and does
// nothing (its mode cannot be switched on before its subsystem exists).

#include "Workspace.h"

#include <QPoint>
#include <Qt>

#include <functional>
#include <vector>

namespace dm {

struct MouseClick {
    Qt::MouseButton button = Qt::LeftButton;
    QPoint pos;
    // Only the left and the right button are told apart: a middle click is
    // neither.
    bool left() const { return button == Qt::LeftButton; }
    bool right() const { return button == Qt::RightButton; }
};

enum class Flow { Done, Continue };
using RowAction = std::function<Flow(const MouseClick&)>;

class MouseDispatch {
public:
    struct Row {
        int number;
        const char* condition;  // as a reader would say it
        std::function<bool(const MouseClick&)> holds;
        RowAction action;
    };

    explicit MouseDispatch(Workspace& ws);
    void attach(int number, RowAction action);
    bool attached(int number) const;
    const std::vector<Row>& rows() const { return rows_; }

    // Tests the rows in order; returns the numbers of the rows that acted.
    std::vector<int> dispatch(const MouseClick& click);

    // Row 50 needs the district list; its owner tells whether it is loaded.
    std::function<bool()> districtListLoaded;

private:
    std::vector<Row> rows_;
};

}  // namespace dm
