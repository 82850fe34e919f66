#include "InputHold.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace dm {

namespace {
int holds = 0;

bool isUserInput(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::Drop:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}
}  // namespace

InputHold::InputHold() {
    ++holds;
    QCoreApplication::instance()->installEventFilter(this);
}

InputHold::~InputHold() {
    QCoreApplication::instance()->removeEventFilter(this);
    --holds;
}

bool InputHold::active() { return holds > 0; }

bool InputHold::eventFilter(QObject*, QEvent* e) {
    if (!isUserInput(e->type())) return false;
    // A release ends a press: one made before the hold (a drag under way)
    // gets through, so that nothing stays pressed after the job.
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        heldPresses_ |= static_cast<QMouseEvent*>(e)->button();
    } else if (e->type() == QEvent::MouseButtonRelease) {
        const Qt::MouseButton b = static_cast<QMouseEvent*>(e)->button();
        if (!(heldPresses_ & b)) return false;
        heldPresses_ &= ~Qt::MouseButtons(b);
    }
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) esc_ = true;
    // A shortcut held back must not be taken as one either.
    if (e->type() == QEvent::ShortcutOverride) e->accept();
    if (e->type() == QEvent::Close) e->ignore();
    return true;
}

}  // namespace dm
