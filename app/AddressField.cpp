#include "AddressField.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QStringListModel>

namespace dm {

AddressField::AddressField(Finder finder, QWidget* parent) : QLineEdit(parent), finder_(std::move(finder)) {
    setClearButtonEnabled(true);
    model_ = new QStringListModel(this);
    completer_ = new QCompleter(model_, this);
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setMaxVisibleItems(20);
    completer_->setWidget(this);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& t) { refresh(t); });
    connect(completer_, QOverload<const QModelIndex&>::of(&QCompleter::activated), this,
            [this](const QModelIndex& i) { choose(i.row()); });
    connect(this, &QLineEdit::returnPressed, this, [this] {
        if (completer_->popup()->isVisible()) return;
        if (hits_.empty() || stale()) refresh(text());
        completer_->popup()->hide();
        if (hits_.empty()) {
            if (notFound) notFound();
            return;
        }
        // A candidate's own text typed back is that candidate.
        const qsizetype same = texts_.indexOf(text().trimmed());
        choose(same >= 0 ? int(same) : 0);
    });
}

void AddressField::refresh(const QString& t) {
    hits_ = finder_ ? finder_(t) : std::vector<AddressHit>{};
    stamp_ = stamp ? stamp() : 0;
    picked_.reset();
    texts_.clear();
    if (describe) {
        for (const std::string& d : describe(hits_)) texts_ << QString::fromStdString(d);
    } else {
        for (const AddressHit& h : hits_) texts_ << QString::fromStdString(AddressText(h));
    }
    model_->setStringList(texts_);
    if (texts_.isEmpty()) completer_->popup()->hide();
    else completer_->complete();
}

void AddressField::choose(int row) {
    if (stale()) {
        // The drop-down showed what no longer holds: it shows the candidates anew.
        refresh(text());
        return;
    }
    if (row < 0 || size_t(row) >= hits_.size()) return;
    const AddressHit h = hits_[size_t(row)];
    completer_->popup()->hide();
    setText(texts_.value(row));
    picked_ = h;
    pickedText_ = text();
    if (chosen) chosen(h);
}

std::optional<AddressHit> AddressField::current() {
    if (picked_ && text() == pickedText_ && !stale()) return picked_;
    refresh(text());
    completer_->popup()->hide();
    if (hits_.empty()) return std::nullopt;
    const qsizetype same = texts_.indexOf(text().trimmed());
    return hits_[size_t(same >= 0 ? same : 0)];
}

}  // namespace dm
