#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

#include "settings/qt/zIniSave.h"
#include "settings/qt/zalign.h"
#include "settings/qt/zform.h"

namespace orn {

// A splitter bar aligned to one edge of its parent (through TzAlignLayout). Dragging it, or
// MoveTo, resizes the neighbouring control aligned to the same edge, never below MinSize. It
// keeps its position: "Left,Top" for top- and left-aligned splitters, the distances from the
// parent's right and bottom edges for the others, so that a window of another size puts it at
// the same distance from the edge it belongs to. Saved on destruction.
class TzSplitter : public QWidget, public TzPersistent {
    Q_OBJECT
    Q_PROPERTY(QString AsString READ AsStringQ WRITE SetAsStringQ)
    Q_PROPERTY(int MinSize MEMBER MinSize)

  public:
    explicit TzSplitter(QWidget* parent = nullptr, TAlign align = TAlign::Left);
    ~TzSplitter() override;

    TIniSave& Ini() { return ini_; }
    TAlign Align() const { return WidgetAlign(this); }
    void SetAlign(TAlign align);
    int MinSize = 30;

    void Loaded() override;
    // Saves the position now, while the form is whole; the save at destruction is then left
    // out unless the position moved again.
    void SaveNow();
    // The position text for the current bounds.
    virtual std::string GetPosText() const;
    // The position text of the last bounds change.
    const std::string& PosText() const { return posText_; }
    virtual void SetAsString(const std::string& text);
    // The control whose edge touches the splitter on the side it is aligned to, or none.
    virtual QWidget* FindNeighbour() const;
    // Moves the splitter to (x, y) by resizing its neighbour.
    virtual void MoveTo(int x, int y);

  protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QString AsStringQ() const { return QString::fromStdString(GetPosText()); }
    void SetAsStringQ(const QString& text) { SetAsString(text.toStdString()); }
    bool Vertical() const;  // a bar between controls side by side (left or right aligned)
    bool FarEdge() const;   // bottom or right aligned

    TIniSave ini_;
    bool saved_ = false;
    std::string posText_;
    bool dragging_ = false;
    QPoint lastDragPos_;
};

}  // namespace orn
