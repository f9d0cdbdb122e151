#include "platform/qt/qt_param_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <cmath>

#include "platform/qt/param_widgets.h"
#include "platform/qt/twips.h"

// The resources are built into this static library, where nothing referred to them: the
// linker left them out of the program. A reference keeps them in, for every window.
static void InitResources() {
    Q_INIT_RESOURCE(tavorin);
}

namespace {
constexpr int kTabCount = 3;
constexpr int kBaseFontSize = 8;
// Icons carry several images; the picture box shows the standard one.
constexpr QSize kPictureSize(32, 32);

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

// The tab row: the three tabs share its width and are as tall as designed.
class QtParamWindow::TabControl final : public QTabWidget {
  public:
    explicit TabControl(QWidget* parent) : QTabWidget(parent) { setTabBar(new Bar(this)); }

    // Where the style puts the pages; the same rectangle the tab widget lays them out in.
    QPoint pageOrigin() const {
        QStyleOptionTabWidgetFrame option;
        initStyleOption(&option);
        return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
    }

  private:
    class Bar final : public QTabBar {
      public:
        explicit Bar(QTabWidget* owner) : QTabBar(owner), owner_(owner) {
            setExpanding(false);
            setUsesScrollButtons(false);
            setElideMode(Qt::ElideRight);
        }

      protected:
        QSize tabSizeHint(int index) const override {
            QSize size = QTabBar::tabSizeHint(index);
            if (count() > 0) size.setWidth(owner_->width() / count());
            size.setHeight(twips::ToPixels(kParamTabHeight));
            return size;
        }

      private:
        QTabWidget* owner_;
    };
};

QFont QtParamWindow::ControlFont(int pointSize) {
    // Where the designed face is missing, a condensed face keeps the captions within the
    // widths they were drawn for; the system's sans-serif face is the last resort.
    static const QString family = [] {
        for (const char* name : {"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans Condensed"})
            if (QFontDatabase::hasFamily(QString::fromLatin1(name)))
                return QString::fromLatin1(name);
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    QFont font(family);
    font.setPointSize(pointSize > 0 ? pointSize : kBaseFontSize);
    return font;
}

QtParamWindow::QtParamWindow() : QWidget(nullptr, Qt::Window) {
    setObjectName("frmParam");
    setAttribute(Qt::WA_DeleteOnClose);
    // The title is the product's name in every language.
    setWindowTitle(QStringLiteral("Tavorin"));
    static const bool resources = (InitResources(), true);
    Q_UNUSED(resources);
    QIcon icon;
    icon.addFile(QStringLiteral(":/tavorin/param32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/tavorin/param16.png"), QSize(16, 16));
    setWindowIcon(icon);
    setFont(ControlFont(kBaseFontSize));
    setFixedSize(twips::ToPixels(kParamClientWidth), twips::ToPixels(kParamClientHeight));

    for (const CtlDesign& design : ParamLayout()) widgets_[Index(design.id)] = create(design);
    connect(tabs_, &QTabWidget::currentChanged, this, &QtParamWindow::onTabChanged);
}

QtParamWindow::~QtParamWindow() {
    // The tab control reports tab changes while its pages go; nobody is listening anymore.
    Click = nullptr;
    TabClick = nullptr;
    Activate = nullptr;
    QueryUnload = nullptr;
    for (QWidget* widget : widgets_)
        if (widget) widget->disconnect(this);
    emit destroying();
}

QTabWidget* QtParamWindow::tabWidget() const {
    return tabs_;
}

QWidget* QtParamWindow::parentFor(const CtlDesign& design) const {
    if (design.tab < 0 || !tabs_) return const_cast<QtParamWindow*>(this);
    return tabs_->widget(design.tab);
}

QPoint QtParamWindow::pageOffset(const CtlDesign& design) const {
    return design.tab < 0 ? QPoint() : tabs_->pageOrigin();
}

QWidget* QtParamWindow::create(const CtlDesign& design) {
    QWidget* parent = parentFor(design);
    const QString caption = ToQt(std::string(design.caption));
    QWidget* widget = nullptr;
    switch (design.kind) {
        case CtlKind::TabControl: {
            tabs_ = new TabControl(this);
            tabs_->setGeometry(twips::ToPixels(design.rect));
            for (int tab = 0; tab < kTabCount; ++tab) {
                auto* page = new QWidget;
                page->setObjectName(QStringLiteral("SSTab1_%1").arg(tab));
                tabs_->addTab(page, QString());
            }
            tabs_->setCurrentIndex(0);
            widget = tabs_;
            break;
        }
        case CtlKind::Button: {
            auto* button = new param_widgets::WrapButton(caption, parent);
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this, [this, id = design.id] {
                if (Click) Click(id);
            });
            widget = button;
            break;
        }
        case CtlKind::CheckBox: {
            auto* box = new param_widgets::WrapCheckBox(caption, parent);
            connect(box, &QCheckBox::clicked, this, [this, id = design.id] {
                if (Click) Click(id);
            });
            widget = box;
            break;
        }
        case CtlKind::Label: {
            QFont font = ControlFont(design.pointSize);
            font.setBold(design.bold);
            auto* label = new param_widgets::CaptionLabel(caption, font, parent);
            label->setAlignment(design.centred ? Qt::AlignHCenter | Qt::AlignTop
                                               : Qt::AlignLeft | Qt::AlignTop);
            // Captions wrap where the label has room for more than one line.
            const double line = QFontMetricsF(font).lineSpacing();
            label->setWordWrap(twips::ToPixels(design.rect.Height) >= 1.5 * line);
            if (design.border) {
                label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
                label->setLineWidth(1);
                label->setMargin(1);
            }
            QPalette palette = label->palette();
            if (design.color) palette.setColor(QPalette::WindowText, QColor::fromRgb(design.color));
            if (design.background) {
                palette.setColor(QPalette::Window, QColor::fromRgb(design.background));
                label->setAutoFillBackground(true);
            }
            label->setPalette(palette);
            widget = label;
            break;
        }
        case CtlKind::TextBox: {
            auto* edit = new QLineEdit(caption, parent);
            if (design.maxLength > 0) edit->setMaxLength(design.maxLength);
            widget = edit;
            break;
        }
        case CtlKind::Picture: {
            auto* picture = new QLabel(parent);
            picture->setScaledContents(false);
            // The rectangle starts under the icon caption; against its right edge the
            // picture leaves the caption readable in every language.
            picture->setAlignment(Qt::AlignRight | Qt::AlignTop);
            widget = picture;
            break;
        }
        case CtlKind::Browser: {
            // An empty white pane until the first page test creates the view inside it.
            auto* host = new QFrame(parent);
            host->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
            host->setBackgroundRole(QPalette::Base);
            host->setAutoFillBackground(true);
            widget = host;
            break;
        }
        case CtlKind::ComboList: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            if (!caption.isEmpty()) combo->addItems(caption.split(QLatin1Char('\n')));
            combo->setCurrentIndex(-1);
            widget = combo;
            break;
        }
        case CtlKind::ListBox: {
            auto* list = new QListWidget(parent);
            if (!caption.isEmpty()) list->addItems(caption.split(QLatin1Char('\n')));
            widget = list;
            break;
        }
        case CtlKind::Line: {
            auto* line = new QFrame(parent);
            line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
            widget = line;
            break;
        }
    }
    widget->setObjectName(QString::fromUtf8(design.name.data(), qsizetype(design.name.size())));
    captions_[Index(design.id)] = std::string(design.caption);
    widgets_[Index(design.id)] = widget;
    if (design.kind != CtlKind::TabControl) Move(design.id, design.rect);
    if (design.kind == CtlKind::Label && design.rect.Width == 0) fitToText(design.id);
    if (!design.visible) widget->setVisible(false);
    return widget;
}

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
            return tabs_->tabText(tabs_->currentIndex()).toStdString();
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
            SetTabCaption(tabs_->currentIndex(), text);
            break;
        case CtlKind::ListBox:
        case CtlKind::Picture:
        case CtlKind::Browser:
        case CtlKind::Line:
            break;
    }
}

void QtParamWindow::SetTabCaption(int tab, const std::string& text) {
    if (tab >= 0 && tab < tabs_->count()) tabs_->setTabText(tab, ToQt(text));
}

int QtParamWindow::Tab() {
    return tabs_->currentIndex();
}

void QtParamWindow::SetTab(int tab) {
    if (tab >= 0 && tab < tabs_->count()) tabs_->setCurrentIndex(tab);
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

QString QtFileDialog::QtFilter(const std::string& filter) {
    const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
    if (parts.size() < 2) return ToQt(filter).trimmed();
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

void QtFileDialog::ShowOpen(const std::string& title, const std::string& filter,
                            std::string& fileName) {
    // The remembered name is offered again, as the dialog keeps it between openings.
    QFileDialog dialog(owner_, ToQt(title), QFile::decodeName(fileName.c_str()), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name is taken whether or not the file exists; the caller checks it.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    fileName = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}
