#include "app/RadioGroup.h"

#include <QEvent>
#include <QFontMetrics>
#include <algorithm>

namespace app {

RadioGroup::RadioGroup(QWidget* parent, int columns) : QGroupBox(parent), columns_(columns) {
    connect(&group_, &QButtonGroup::idClicked, this, [this](int id) { itemIndex_ = id; });
}

void RadioGroup::SetItems(const QStringList& items) {
    const int before = Count();
    while (Count() > items.size()) {
        QRadioButton* last = buttons_.back();
        buttons_.pop_back();
        group_.removeButton(last);
        delete last;
    }
    while (Count() < items.size()) {
        auto* button = new RadioButton(this);
        group_.addButton(button, Count());
        buttons_.push_back(button);
        button->show();
    }
    for (int i = 0; i < Count(); ++i) {
        buttons_[i]->setText(items[i]);
    }
    ArrangeButtons();
    SetItemIndex(itemIndex_);
    if (Count() != before) {
        emit itemsChanged();
    }
}

QString RadioGroup::ItemText(int index) const {
    return buttons_[index]->text();
}

void RadioGroup::SetItemIndex(int index) {
    if (Count() > 0) {
        index = std::max(index, -1);
        index = std::min(index, Count() - 1);
    }
    itemIndex_ = index;
    ShowSelection();
}

void RadioGroup::ShowSelection() {
    if (Count() == 0) {
        return;
    }
    // An exclusive group cannot uncheck its last button; drop the rule while
    // the check marks are set.
    group_.setExclusive(false);
    for (int i = 0; i < Count(); ++i) {
        buttons_[i]->setChecked(i == itemIndex_);
    }
    group_.setExclusive(true);
}

// The buttons fill the box below its caption line: equal columns, equal
// rows, 8 pixels in from the left edge.
void RadioGroup::ArrangeButtons() {
    if (Count() == 0) {
        return;
    }
    const int textHeight = QFontMetrics(font()).height();
    const int perColumn = (Count() + columns_ - 1) / columns_;
    const int buttonWidth = (width() - 10) / columns_;
    const int free = height() - textHeight - 5;
    const int buttonHeight = free / perColumn;
    const int topMargin = textHeight + 1 + (free % perColumn) / 2;
    for (int i = 0; i < Count(); ++i) {
        const int left = (i / perColumn) * buttonWidth + 8;
        const int top = (i % perColumn) * buttonHeight + topMargin;
        buttons_[i]->setGeometry(left, top, buttonWidth, buttonHeight);
    }
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    ArrangeButtons();
}

void RadioGroup::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        ArrangeButtons();
    }
}

}  // namespace app
