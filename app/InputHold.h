#pragma once
// Holds back the operator's input while a long job lets the event queue
// run (printing repaints the window and watches for Esc): clicks, keys,
// the wheel, shortcuts and closing a window do not reach the program, so
// nothing can change the map under the job.  Esc is noted for the job.  The
// release of a button pressed before the hold gets through.

#include <QObject>

namespace dm {

class InputHold : public QObject {
public:
    InputHold();
    ~InputHold() override;
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

    bool escPressed() const { return esc_; }
    // Whether a hold is on anywhere in the program.
    static bool active();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool esc_ = false;
    Qt::MouseButtons heldPresses_;  // pressed while the hold is on
};

}  // namespace dm
