#include "platform/qt/qt_param_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFontMetricsF>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <algorithm>
#include <cmath>

#include "platform/qt/param_widgets.h"
#include "platform/qt/twips.h"

namespace {
// Icons carry several images; the picture box shows the standard one.
constexpr QSize kPictureSize(32, 32);

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

std::string QtParamWindow::Caption(Ctl control) {
    QWidget* widget = this->widget(control);
    switch (Design(control).kind) {
        case CtlKind::Button:
        case CtlKind::Label:
        case CtlKind::CheckBox:
            return captions_[Index(control)];
        case CtlKind::TextBox:
            return static_cast<QLineEdit*>(widget)->text().toStdString();
        case CtlKind::ComboList:
            return static_cast<QComboBox*>(widget)->currentText().toStdString();
        case CtlKind::ListBox: {
            const QListWidgetItem* item = static_cast<QListWidget*>(widget)->currentItem();
            return item ? item->text().toStdString() : std::string();
        }
        case CtlKind::TabControl:
            return tabWidget()->tabText(tabWidget()->currentIndex()).toStdString();
        case CtlKind::Picture:
        case CtlKind::Browser:
        case CtlKind::Line:
            break;
    }
    return {};
}

void QtParamWindow::SetCaption(Ctl control, const std::string& text) {
    QWidget* widget = this->widget(control);
    switch (Design(control).kind) {
        case CtlKind::Button:
        case CtlKind::CheckBox:
            captions_[Index(control)] = text;
            static_cast<QAbstractButton*>(widget)->setText(ToQt(text));
            break;
        case CtlKind::Label:
            captions_[Index(control)] = text;
            static_cast<param_widgets::CaptionLabel*>(widget)->setCaption(ToQt(text));
            break;
        case CtlKind::TextBox:
            static_cast<QLineEdit*>(widget)->setText(ToQt(text));
            break;
        case CtlKind::ComboList: {
            // A drop-down list only takes one of its own entries.
            auto* combo = static_cast<QComboBox*>(widget);
            const int index = combo->findText(ToQt(text), Qt::MatchFixedString);
            if (index >= 0) combo->setCurrentIndex(index);
            break;
        }
        case CtlKind::TabControl:
            SetTabCaption(tabWidget()->currentIndex(), text);
            break;
        case CtlKind::ListBox:
        case CtlKind::Picture:
        case CtlKind::Browser:
        case CtlKind::Line:
            break;
    }
}

void QtParamWindow::SetTabCaption(int tab, const std::string& text) {
    if (tab >= 0 && tab < tabWidget()->count()) tabWidget()->setTabText(tab, ToQt(text));
}

int QtParamWindow::Tab() {
    return tabWidget()->currentIndex();
}

void QtParamWindow::SetTab(int tab) {
    if (tab >= 0 && tab < tabWidget()->count()) tabWidget()->setCurrentIndex(tab);
}

void QtParamWindow::onTabChanged(int index) {
    // QTabWidget tells only the new tab; the click reports the one left.
    const int previous = currentTab_;
    currentTab_ = index;
    if (TabClick) TabClick(previous);
}

void QtParamWindow::ListClear(Ctl list) {
    if (auto* box = qobject_cast<QListWidget*>(widget(list)))
        box->clear();
    else if (auto* combo = qobject_cast<QComboBox*>(widget(list)))
        combo->clear();
}

void QtParamWindow::ListAdd(Ctl list, const std::string& item) {
    if (auto* box = qobject_cast<QListWidget*>(widget(list)))
        box->addItem(ToQt(item));
    else if (auto* combo = qobject_cast<QComboBox*>(widget(list)))
        combo->addItem(ToQt(item));
}

void QtParamWindow::ComboSelect(Ctl combo, int index) {
    if (auto* box = qobject_cast<QComboBox*>(widget(combo)))
        box->setCurrentIndex(index < box->count() ? index : -1);
    else if (auto* list = qobject_cast<QListWidget*>(widget(combo)))
        list->setCurrentRow(index);
}

int QtParamWindow::CheckValue(Ctl checkBox) {
    auto* box = qobject_cast<QCheckBox*>(widget(checkBox));
    if (!box) return vbUnchecked;
    switch (box->checkState()) {
        case Qt::Checked:
            return vbChecked;
        case Qt::PartiallyChecked:
            return 2;  // greyed
        case Qt::Unchecked:
            break;
    }
    return vbUnchecked;
}

bool QtParamWindow::Visible(Ctl control) {
    // The control's own flag: controls of the tabs not shown still count as visible.
    return !widget(control)->isHidden();
}

void QtParamWindow::SetVisible(Ctl control, bool visible) {
    widget(control)->setVisible(visible);
}

TwipsRect QtParamWindow::Rect(Ctl control) {
    const CtlDesign& design = Design(control);
    TwipsRect rect = twips::FromPixels(widget(control)->geometry().translated(pageOffset(design)));
    if (design.kind == CtlKind::Line) rect.Height = 0;
    return rect;
}

void QtParamWindow::Move(Ctl control, const TwipsRect& rect) {
    const CtlDesign& design = Design(control);
    QRect pixels = twips::ToPixels(rect).translated(-pageOffset(design));
    if (design.kind == CtlKind::Line) pixels.setHeight(2);
    widget(control)->setGeometry(pixels);
}

void QtParamWindow::AutoSize(Ctl label) {
    fitToText(label);
}

void QtParamWindow::fitToText(Ctl control) {
    if (Design(control).kind != CtlKind::Label) return;
    auto* label = static_cast<param_widgets::CaptionLabel*>(widget(control));
    const QFontMetricsF metrics(label->font());
    const QStringList lines = label->caption().split(QLatin1Char('\n'));
    double width = 0;
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    const int chrome = 2 * (label->frameWidth() + label->margin());
    const int height =
        static_cast<int>(std::ceil(metrics.lineSpacing() * static_cast<double>(lines.size())));
    label->resize(static_cast<int>(std::ceil(width)) + chrome, height + chrome);
}

bool QtParamWindow::LoadPicture(Ctl picture, const std::string& path) {
    auto* box = qobject_cast<QLabel*>(widget(picture));
    if (!box) return false;
    box->clear();
    if (path.empty()) return true;
    QImageReader reader(QFile::decodeName(path.c_str()));
    QImage chosen;
    auto distance = [](const QImage& image) {
        return std::abs(image.width() - kPictureSize.width()) +
               std::abs(image.height() - kPictureSize.height());
    };
    for (int image = 0; image < 64; ++image) {
        const QImage candidate = reader.read();
        if (candidate.isNull()) break;
        if (chosen.isNull() || distance(candidate) < distance(chosen)) chosen = candidate;
        if (distance(chosen) == 0 || !reader.jumpToNextImage()) break;
    }
    if (chosen.isNull()) return false;
    box->setPixmap(QPixmap::fromImage(chosen));
    return true;
}

void QtParamWindow::Show() {
    show();
    raise();
    activateWindow();
}

void QtParamWindow::Close() {
    close();
}

void QtParamWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && Activate) Activate();
}

void QtParamWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first showing counts as activation even where the window manager withholds focus.
    if (shown_ || event->spontaneous()) return;
    shown_ = true;
    if (Activate) Activate();
}

void QtParamWindow::closeEvent(QCloseEvent* event) {
    // The close request never refuses: the window always goes.
    if (QueryUnload) QueryUnload();
    event->accept();
}
