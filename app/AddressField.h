#pragma once
// A field for an address ("Навои 12а"): as the operator types, a drop-down
// of up to 20 candidates ("Навои ул., 12а (быв. Ленина)"); choosing one, or
// Enter with the drop-down closed, tells the first (or chosen) candidate.

#include "streets/AddressIndex.h"

#include <QLineEdit>

#include <functional>
#include <optional>
#include <vector>

class QCompleter;
class QStringListModel;

namespace dm {

class AddressField : public QLineEdit {
public:
    using Finder = std::function<std::vector<AddressHit>(const QString& text)>;
    using Describer = std::function<std::vector<std::string>(const std::vector<AddressHit>&)>;
    AddressField(Finder finder, QWidget* parent = nullptr);

    // A candidate chosen from the drop-down, or Enter on the typed text.
    std::function<void(const AddressHit&)> chosen;
    // Enter on a text that finds nothing.
    std::function<void()> notFound;
    // The candidates' texts (AddressText each when not set).
    Describer describe;
    const QStringList& texts() const { return texts_; }
    // The candidates for the text as it is now.
    const std::vector<AddressHit>& candidates() const { return hits_; }
    // The candidate chosen last while the text is still its text, else the
    // first candidate for the text; none when nothing answers.
    std::optional<AddressHit> current();
    QCompleter* popupCompleter() const { return completer_; }
    void setFinder(Finder finder) { finder_ = std::move(finder); }
    // A number that changes whenever candidates found before may no longer
    // hold (another map, a change of the register, an undo): they are then
    // found again before anything is done with them.
    std::function<uint64_t()> stamp;

private:
    void refresh(const QString& text);
    void choose(int row);
    bool stale() const { return stamp && stamp() != stamp_; }

    Finder finder_;
    QCompleter* completer_;
    QStringListModel* model_;
    std::vector<AddressHit> hits_;
    QStringList texts_;
    std::optional<AddressHit> picked_;
    QString pickedText_;
    uint64_t stamp_ = 0;  // of the candidates in hand
};

}  // namespace dm
