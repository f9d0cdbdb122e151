// The configuration window's controls, made from the designed layout.
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>

#include "platform/qt/param_widgets.h"
#include "platform/qt/qt_param_window.h"
#include "platform/qt/twips.h"

// The resources are built into this static library, where nothing referred to them: the
// linker left them out of the program. A reference keeps them in, for every window.
static void InitResources() {
    Q_INIT_RESOURCE(tavorin);
}

namespace {
constexpr int kTabCount = 3;
constexpr int kBaseFontSize = 8;

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
