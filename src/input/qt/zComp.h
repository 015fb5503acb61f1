#pragma once
// TCounter: a caption and a coloured, bevelled field showing a number with a fixed number of
// decimals, which keeps its value in the settings store through its Ini (property
// "AsIniString").

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QString>
#include <functional>
#include <string>

#include "settings/qt/zIniSave.h"
#include "settings/qt/zalign.h"
#include "settings/qt/zform.h"

namespace orn {

class TCounter : public QFrame, public TzPersistent {
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(int Desim READ Desim WRITE SetDesim)
    Q_PROPERTY(int IniDesim READ IniDesim WRITE SetIniDesim)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QColor DisabledColor READ DisabledColor WRITE SetDisabledColor)
    Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
    Q_PROPERTY(QString Caption READ CaptionQ WRITE SetCaptionQ)
    Q_PROPERTY(int LabelWidth READ LabelWidth WRITE SetLabelWidth)
    Q_PROPERTY(int LabelHeight READ LabelHeight WRITE SetLabelHeight)
    Q_PROPERTY(QString AsString READ AsStringQ WRITE SetAsStringQ STORED false)
    Q_PROPERTY(QString AsIniString READ AsIniStringQ WRITE SetAsIniStringQ STORED false)
    Q_PROPERTY(int AsInteger READ AsInteger WRITE SetAsInteger STORED false)

  public:
    // Called after each change of the value; changes to the value it gets have no effect.
    using TNotifyCounterEvent = std::function<void(TCounter& sender, double& value)>;

    explicit TCounter(QWidget* parent = nullptr);
    ~TCounter() override;

    TIniSave& Ini() { return ini_; }
    QLabel* LabelPanel() const { return labelPanel_; }
    QLabel* DisplayPanel() const { return displayPanel_; }

    double Value() const { return value_; }
    // Shows the value (always); when it changed, saves it if Ini.AutoSave is on and calls
    // AfterChange.
    virtual void SetValue(double v);
    // As SetValue, but never saves.
    void SetValueQuiet(double v);
    void AddValue(double delta) { SetValue(value_ + delta); }

    int Desim() const { return desim_; }
    void SetDesim(int desim);
    int IniDesim() const { return iniDesim_; }
    void SetIniDesim(int iniDesim) { iniDesim_ = iniDesim; }

    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    QColor DisabledColor() const { return disabledColor_; }
    void SetDisabledColor(const QColor& color);
    // Bevels of the value field: inner lowered (a sunken frame), outer raised; the width is
    // the frame's line width.
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    Qt::Alignment Alignment() const { return displayPanel_->alignment(); }
    void SetAlignment(Qt::Alignment a) { displayPanel_->setAlignment(a | Qt::AlignVCenter); }
    Qt::Alignment LAlignment() const { return labelPanel_->alignment(); }
    void SetLAlignment(Qt::Alignment a) { labelPanel_->setAlignment(a | Qt::AlignVCenter); }

    std::string Caption() const { return labelPanel_->text().toStdString(); }
    void SetCaption(const std::string& caption);
    // The edge the caption sits on; only Top, Bottom, Left and Right are taken, but the label
    // sizes are applied again in any case.
    TAlign LAlign() const { return lAlign_; }
    void SetLAlign(TAlign align);
    int LabelWidth() const { return labelWidth_; }
    void SetLabelWidth(int width);
    int LabelHeight() const { return labelHeight_; }
    void SetLabelHeight(int height);

    // The display text: Desim decimals with the locale's separators, general format when
    // Desim is negative. Writing parses it with the display parser; not a number gives 0.
    std::string AsString() const;
    void SetAsString(const std::string& text);
    // The stored text: Desim + IniDesim decimals with "." and no grouping. Writing parses the
    // stored form; not a (finite) number gives 0.
    std::string AsIniString() const;
    void SetAsIniString(const std::string& text);
    // The value truncated toward zero (limited to the int range).
    int AsInteger() const;
    void SetAsInteger(int v) { SetValue(v); }

    TNotifyCounterEvent AfterChange;

    // A click on the control or on either inner panel runs the handler while one is set.
    void SetOnClick(std::function<void()> handler) { onClick_ = std::move(handler); }
    bool HasOnClick() const { return static_cast<bool>(onClick_); }

    void Loaded() override;

  signals:
    void Clicked();

  protected:
    // The class name without its first letter: the generic prefix the caption follows on a
    // rename ("Counter", "zParam").
    virtual std::string GenericPrefix() const { return "Counter"; }
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString CaptionQ() const { return labelPanel_->text(); }
    void SetCaptionQ(const QString& c) { SetCaption(c.toStdString()); }
    QString AsStringQ() const { return QString::fromStdString(AsString()); }
    void SetAsStringQ(const QString& t) { SetAsString(t.toStdString()); }
    QString AsIniStringQ() const { return QString::fromStdString(AsIniString()); }
    void SetAsIniStringQ(const QString& t) { SetAsIniString(t.toStdString()); }
    void SetValueAndMaybeSave(double v, bool save);
    void PaintDisplay();
    void PlacePanels();
    void OnNameChanged(const QString& name);
    void Click();

    QLabel* labelPanel_;
    QLabel* displayPanel_;
    TIniSave ini_;
    double value_ = 0;
    int desim_ = 0;
    int iniDesim_ = 0;
    QColor color_{255, 255, 128};
    QColor disabledColor_{192, 192, 192};
    int bevelWidth_ = 4;
    TAlign lAlign_ = TAlign::Left;
    int labelWidth_ = 0;
    int labelHeight_ = 12;
    std::function<void()> onClick_;
    std::string name_;
};

// The caption a counter gets when renamed from oldName to newName (letter case ignored):
// an empty caption becomes newName less as many characters as the prefix has; a caption that
// is the tail of oldName after a front part that newName also starts with becomes newName less
// that part; otherwise a caption starting with the prefix loses it.
std::string CounterCaptionFromName(const std::string& prefix, const std::string& newName,
                                   const std::string& oldName, const std::string& caption);

}  // namespace orn
