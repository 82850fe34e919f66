#pragma once
// "Установка шрифтов по умолчанию": presets of face and colour for the name
// font; each choice takes effect at once, the letter height when the
// dialog closes.

#include "names/Names.h"

#include <QDialog>

class QListWidget;
class QSpinBox;

namespace dm {

class DefaultFontDialog : public QDialog {
public:
    DefaultFontDialog(TNameFont& font, QWidget* parent = nullptr);
    QListWidget* kinds() const { return kinds_; }
    QListWidget* colors() const { return colors_; }
    QSpinBox* height() const { return height_; }

    static constexpr int32_t kDarkGrey = 0x404040;
    static constexpr int32_t kBrown = 0x1E4B8B;  // 0x00BBGGRR of RGB(139, 75, 30)

protected:
    void done(int r) override;

private:
    TNameFont& font_;
    QListWidget* kinds_;
    QListWidget* colors_;
    QSpinBox* height_;
};

}  // namespace dm
