#pragma once
// Widgets of the configuration window that keep their captions inside the designed
// rectangles, whatever the fonts of the desktop.
#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace param_widgets {

// Button captions wrap onto several lines when the button is tall enough, which
// QPushButton does not do by itself.
class WrapButton final : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        QRect area = style()
                         ->subElementRect(QStyle::SE_PushButtonContents, &option, this)
                         .adjusted(kPadding, 0, -kPadding, 0);
        if (option.state & (QStyle::State_On | QStyle::State_Sunken))
            area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
        style()->drawItemText(&painter, area,
                              Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, palette(),
                              isEnabled(), caption, QPalette::ButtonText);
    }

  private:
    static constexpr int kPadding = 3;
};

// A check box whose caption wraps beside the box and whose whole area takes the click.
class WrapCheckBox final : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        QStyleOptionButton indicator = option;
        indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
        painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

        QRect area = rect();
        area.setLeft(indicator.rect.right() + 1 +
                     style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this));
        const int flags =
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        style()->drawItemText(&painter, area, flags, palette(), isEnabled(), caption,
                              QPalette::WindowText);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect =
                painter.fontMetrics().boundingRect(area, flags, caption).adjusted(-1, 0, 1, 0);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

// A label that keeps its caption within its rectangle. One line: as much as the width
// allows, the middle cut out rather than the end (a folder's name is at the end), the
// whole caption in the tooltip. Several lines: the font steps down from the designed
// size until the wrapped text fits the height.
class CaptionLabel final : public QLabel {
  public:
    CaptionLabel(const QString& text, const QFont& font, QWidget* parent)
        : QLabel(parent), caption_(text), designFont_(font) {
        setTextFormat(Qt::PlainText);
        setFont(font);
    }
    const QString& caption() const { return caption_; }
    void setCaption(const QString& text) {
        caption_ = text;
        refresh();
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        refresh();
    }

  private:
    void refresh() {
        const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
        QString shown = caption_;
        if (wordWrap()) {
            QFont font = designFont_;
            for (double size = designFont_.pointSizeF(); size >= kSmallestPointSize; size -= 0.5) {
                font.setPointSizeF(size);
                const QRect needed = QFontMetrics(font).boundingRect(
                    QRect(0, 0, room.width(), 1 << 20), Qt::TextWordWrap | alignment(), caption_);
                if (needed.height() <= room.height()) break;
            }
            if (font != this->font()) setFont(font);
        } else if (!caption_.contains(QLatin1Char('\n'))) {
            shown = fontMetrics().elidedText(caption_, Qt::ElideMiddle, room.width());
        }
        setToolTip(shown == caption_ ? QString() : caption_);
        if (shown != text()) setText(shown);
    }

    static constexpr double kSmallestPointSize = 6.0;
    QString caption_;
    QFont designFont_;
};
}  // namespace param_widgets
