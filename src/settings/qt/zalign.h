#pragma once

#include <QLayout>
#include <QList>

namespace orn {

// Edge alignment of child controls: top-aligned children are stacked from the top edge down,
// bottom-aligned ones from the bottom up, then left and right ones share the height that is
// left, and a client-aligned child fills the rest. Each keeps its own height (top, bottom) or
// width (left, right). Children are taken in the order they were added.
enum class TAlign { None, Top, Bottom, Left, Right, Client };

void SetWidgetAlign(QWidget* widget, TAlign align);
TAlign WidgetAlign(const QWidget* widget);

class TzAlignLayout : public QLayout {
    Q_OBJECT

  public:
    explicit TzAlignLayout(QWidget* parent = nullptr);
    ~TzAlignLayout() override;

    void AddWidget(QWidget* widget, TAlign align);

    // Arranges the children now, against the parent's current size.
    void Realign();
    // While disabled (calls nest), nothing is rearranged; enabling rearranges once.
    void DisableAlign() { ++disabled_; }
    void EnableAlign();

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override { return static_cast<int>(items_.size()); }
    void setGeometry(const QRect& rect) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;

  private:
    QList<QLayoutItem*> items_;
    int disabled_ = 0;
};

// The edge-alignment layout of widget's parent, if it has one.
TzAlignLayout* AlignLayoutOf(const QWidget* widget);

}  // namespace orn
