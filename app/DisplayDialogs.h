#pragma once
// The dialogs of the map display: "Формирование слоев", "Вывод по слоям",
// "Растр" and the object style dialog "Color".

#include <QColor>
#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace dm {

class DialogPort;
struct ActiveSemanticList;

// "Формирование слоев": layers formed from the classifier's entries.
class LayerFormDialog : public QDialog {
    Q_OBJECT
public:
    LayerFormDialog(const std::filesystem::path& startDir, const ActiveSemanticList& semantics, DialogPort& dialogs,
                    QWidget* parent = nullptr);
    QListWidget* entries() const { return ListBox1; }
    QPlainTextEdit* layers() const { return RichEdit1; }
    QLineEdit* nameField() const { return Edit1; }
    void addClicked();
    void removeClicked();

private:
    void showList();

    std::filesystem::path startDir_;
    const ActiveSemanticList& semantics_;
    DialogPort& dialogs_;
    std::vector<std::string> list_;
    QListWidget* ListBox1;
    QPlainTextEdit* RichEdit1;
    QLineEdit* Edit1;
};

// "Вывод по слоям": the layers to show, "Без заливки фона", "Показать",
// "&Close".  `show` draws by the checked layers and returns false when the
// dialog is to stay open.
class LayerShowDialog : public QDialog {
    Q_OBJECT
public:
    LayerShowDialog(const std::vector<std::string>& layers, bool noAreaFill, QWidget* parent = nullptr);
    QListWidget* layers() const { return CheckListBox1; }
    QPushButton* noFillButton() const { return NoFill; }
    std::vector<std::string> checkedLayers() const;
    std::function<bool(const std::vector<std::string>&)> show;
    std::function<void(bool)> noFillChanged;
    std::function<void()> closed;  // "&Close"

private:
    std::vector<std::string> names_;
    QListWidget* CheckListBox1;
    QPushButton* NoFill;
};

// "Растр": what to export and where.
class RasterDialog : public QDialog {
    Q_OBJECT
public:
    explicit RasterDialog(QWidget* parent = nullptr);
    bool wholeFile() const;
    bool toFile() const;
    bool toClipboard() const;
    bool withNames() const;
    QRadioButton* wholeButton() const { return Ves; }
    QRadioButton* boxButton() const { return Ramka; }
    QCheckBox* fileBox() const { return VFile; }
    QCheckBox* clipboardBox() const { return VBufer; }
    QCheckBox* namesBox() const { return SNazv; }
    QCheckBox* noNamesBox() const { return BezNazv; }

private:
    QRadioButton* Ves;
    QRadioButton* Ramka;
    QCheckBox* VFile;
    QCheckBox* VBufer;
    QCheckBox* SNazv;
    QCheckBox* BezNazv;
};

// The working style of the dialog "Color".
struct WorkingStyle {
    int32_t PenColor = 0;
    int32_t PenWidth = 1;
    uint8_t PenStyle = 0;
    uint8_t BrushStyle = 0;
    int32_t BrushColor = 0;
};

// "Color": the style of the selected object or of every object of its code.
class StyleDialog : public QDialog {
    Q_OBJECT
public:
    enum class Target { None, Object, AllOfCode };
    StyleDialog(const QString& heading, WorkingStyle style, bool haveObject, int32_t objectBrushColor,
                DialogPort& dialogs, QWidget* parent = nullptr);
    const WorkingStyle& style() const { return style_; }
    Target target() const;
    QSpinBox* widthField() const { return Width; }
    QRadioButton* objectButton() const { return ForObject; }
    QRadioButton* allButton() const { return ForAll; }
    QPushButton* penStyleButton(int style) const;
    QPushButton* brushStyleButton(int style) const;
    QPushButton* colorButton() const { return PenColorButton; }
    QPushButton* fillButton() const { return FillColorButton; }
    QPushButton* acceptButton() const { return Accept; }
    // The samples as drawn now.
    QImage lineSample() const;
    QImage areaSample() const;

private:
    void redrawSamples();
    void accepted();

    WorkingStyle style_;
    bool haveObject_;
    int32_t objectBrushColor_;
    DialogPort& dialogs_;
    QSpinBox* Width;
    QRadioButton* ForObject;
    QRadioButton* ForAll;
    QPushButton* PenColorButton;
    QPushButton* FillColorButton;
    QPushButton* Accept;
    QLabel* LineSample;
    QLabel* AreaSample;
    std::vector<QPushButton*> penButtons_, brushButtons_;
};

}  // namespace dm
