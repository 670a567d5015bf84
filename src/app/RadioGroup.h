// A titled group of radio buttons laid out in columns, holding a selected
// index that is independent of its item texts.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>
#include <vector>

namespace app {

// A radio button that takes a click anywhere in its rectangle.
class RadioButton : public QRadioButton {
    Q_OBJECT
  public:
    explicit RadioButton(QWidget* parent) : QRadioButton(parent) {}

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

class RadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    RadioGroup(QWidget* parent, int columns);

    // Replaces the item texts. Buttons are made for new items; the selected
    // index survives and is fitted to the new item count.
    void SetItems(const QStringList& items);
    int Count() const { return static_cast<int>(buttons_.size()); }
    QString ItemText(int index) const;
    QRadioButton* Button(int index) const { return buttons_[index]; }

    // -1 is no selection. With items: below -1 selects nothing, beyond the
    // last item selects the last. Without items the index is kept as set
    // and fitted when items arrive.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);

  signals:
    // Buttons were made or removed.
    void itemsChanged();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void ArrangeButtons();
    void ShowSelection();

    int columns_;
    int itemIndex_ = -1;
    std::vector<QRadioButton*> buttons_;
    QButtonGroup group_;
};

}  // namespace app
